// Every text the program prints, verbatim, in one place, so that it can be
// compared line by line with what users see.
#pragma once

#include <array>
#include <string_view>

namespace pdsplit::text {

// Banner (the empty lines around it are printed by the driver).
inline constexpr std::string_view kTitle = "P D S P L I T";
inline constexpr std::string_view kPlatform = "For 32/64-bit Intel Mac";
inline constexpr std::string_view kModified =
    "Last modified May 28, 2013 22:26 JST";
inline constexpr std::array<std::string_view, 3> kCredits = {
    "Splits the VASP DOSCAR into plain DOS tables",
    "Total, per-atom and summed projected DOS",
    "Run it in the folder that holds DOSCAR"};

// Mode headings.
inline constexpr std::string_view kHeadingTotal = "::: TOTAL DOS :::";
inline constexpr std::string_view kHeadingAllAtoms =
    "::: PROJECTED DOS FOR ALL ATOMS :::";
inline constexpr std::string_view kHeadingAtom =
    "::: PROJECTED DOS FOR AN ATOM :::";
inline constexpr std::string_view kHeadingRange =
    "::: SUM PROJECTED DOS OF SEQUENTIAL ATOMS :::";
inline constexpr std::string_view kHeadingList =
    "::: SUM PROJECTED DOS OF DISCRETE ATOMS :::";

// Progress lines.
inline constexpr std::string_view kOpening = "Opening DOSCAR file...";
inline constexpr std::string_view kFileRead = "File: ";
inline constexpr std::string_view kClosing = "Closing DOSCAR file...";
inline constexpr std::string_view kShifted = "Fermi level is shifted";
inline constexpr std::string_view kNotShifted = "Fermi level is not shifted";
inline constexpr std::string_view kCreatingFile = "Creating output file...";
inline constexpr std::string_view kCreatingFiles = "Creating output files...";
inline constexpr std::string_view kDone = "D O N E! S U C C E S S F U L L Y";
inline constexpr std::string_view kCpuTimeLabel = " CPU time (s): ";

// Header summary.
inline constexpr std::string_view kNoDoscar =
    "Error! There is no DOSCAR in current directory";
inline constexpr std::string_view kSystemName = "System name: ";
inline constexpr std::string_view kNonSpin = "Calc. type: non-spin polarized";
inline constexpr std::string_view kSpin = "Calc. type: spin polarized";
inline constexpr std::string_view kNonCollinear = "Calc. type: non-collinear";
inline constexpr std::string_view kLProjected = "LDOS type: l-projected";
inline constexpr std::string_view kLmProjected = "LDOS type: l,m-projected";
inline constexpr std::string_view kUnspecified = "LDOS type: Unspecified";
inline constexpr std::string_view kNoProjection = "LDOS type: none";
inline constexpr std::string_view kOrbitalsSpd = "Orbitals found: s p d";
inline constexpr std::string_view kOrbitalsSpdf = "Orbitals found: s p d f";
inline constexpr std::string_view kAtoms = "Number of atoms: ";
inline constexpr std::string_view kEnergyMin = "Energy min (eV): ";
inline constexpr std::string_view kEnergyMax = "Energy max (eV): ";
inline constexpr std::string_view kFermi = "Fermi level (eV): ";
inline constexpr std::string_view kGridPoints = "Number of grid points:";

// Error block and its messages.
inline constexpr std::string_view kErrorHead = "::: ERROR :::";
inline constexpr std::string_view kNothingDone = "Nothing has been done!";
inline constexpr std::string_view kSeeHelp =
    "Please use -h option for more information";
inline constexpr std::string_view kNoArgument = "No input argument found";
inline constexpr std::string_view kWrongArgument = "Wrong input argument(s)";
inline constexpr std::string_view kTooMany = "Too many input argument(s)";
inline constexpr std::string_view kNoAtom = "No atom specified";
inline constexpr std::string_view kTooFew = "Too few input argument(s)";
inline constexpr std::string_view kWrongIndex = "Wrong atomic index(es)";
inline constexpr std::string_view kEmptyName = "Empty output file name";
inline constexpr std::string_view kOverwritesInput =
    "Output file would overwrite DOSCAR";

// Stops with a message.
inline constexpr std::string_view kHeaderOnly =
    "Error! DOSCAR holds only its header: VASP stopped before writing the "
    "density of states";
inline constexpr std::string_view kNoProjectedDos =
    "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)";
inline constexpr std::string_view kAllocInput = "Allocate input array failed!";
inline constexpr std::string_view kAllocOutput =
    "Allocate output array failed!";

// Help screen.
inline constexpr std::array<std::string_view, 25> kHelp = {
    "::: HELP :::",
    "This program is to split DOSCAR file created by VASP and/or",
    "sum up the atomic projected DOS (pro-DOS) over some groups of atoms",
    "REQUIREMENTS:",
    " DOSCAR file from VASP static calculation",
    "USAGE:",
    " pdsplit -h                       : Display program help",
    " pdsplit -[f]t [output]           : Get total DOS",
    " pdsplit -[f]a [output]           : Get pro-DOS for all atoms",
    " pdsplit -[f]p N [output]         : Get pro-DOS for one atom",
    " pdsplit -[f]s1 N1 N2 [output]    : Sum up pro-DOS of sequential atoms",
    " pdsplit -[f]s2 N1 N2... [output] : Sum up pro-DOS of discrete atoms",
    "NOTES:",
    " Avoid using number only for 'output' since it might give",
    " unexpected result for 's2'. If no 'output' is set, program will write",
    " to default file with prefix 'i'. Fermi level is shifted by default,",
    " it can be switched off by using 'f' option.",
    "EXAMPLES:",
    " Get total DOS of the system, not shift the Fermi level:",
    "   pdsplit -ft                    -> output is iDOS",
    "   pdsplit -ft TDOS               -> output is TDOS",
    " Get projected DOS of the 2nd atom, shift the Fermi level:",
    "   pdsplit -p 2                   -> output is iLDOS002",
    "   pdsplit -p 2 LDOS2             -> output is LDOS2",
    "PLEASE CONTACT ME IF THERE IS ANY PROBLEM.",
};

}  // namespace pdsplit::text
