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
inline constexpr std::string_view kHeadingElements =
    "::: SUM PROJECTED DOS OF EACH ELEMENT :::";

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
// Of a file the user named (--doscar=PATH): followed by PATH.
inline constexpr std::string_view kNoFile = "Error! There is no ";
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
// After the Fermi energy given by --efermi: line 6's value, then ")".
inline constexpr std::string_view kFermiGiven = "  (--efermi; DOSCAR: ";
// The elements of a structure file: followed by the file's name, "): " and
// the atoms of each element, as in "Elements (CONTCAR): Fe 1-12, O 13-30".
inline constexpr std::string_view kElements = "Elements (";
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

// --help: the whole usage, printed as it stands (no banner, no leading
// blank).
inline constexpr auto kUsage = std::to_array<std::string_view>({
    "Usage: pdsplit [--setting ...] MODE [OPERANDS] [OUTPUT]",
    "Splits the DOSCAR of a VASP run into plain-text density-of-states tables,",
    "written to the current folder.",
    "",
    "Modes (an f before or after the letters, as in -ft or -tf, keeps the",
    "energies as in DOSCAR; without it the Fermi level is shifted to 0):",
    "  -t [OUTPUT]                  total DOS to iDOS or OUTPUT",
    "  -p N [OUTPUT]                pro-DOS of atom N to iLDOSNNN or OUTPUTNNN",
    "  -a [OUTPUT]                  pro-DOS of every atom: iLDOS001, iLDOS002, ...",
    "  -s1 N1 N2 [OUTPUT]           pro-DOS summed over atoms N1 to N2 to iSUMDOS",
    "  -s2 LIST ... [OUTPUT]        pro-DOS summed over the atoms listed to iSUMDOS;",
    "                               a LIST is 5, a range 1-4 or both: 1-4,9",
    "  -e [OUTPUT]                  pro-DOS summed per element (from CONTCAR, else",
    "                               POSCAR) to iSUMDOS_Fe, ... or OUTPUT_Fe, ...",
    "  -h                           the help screen of the modes",
    "OUTPUT - writes the one table of -t, -p, -s1 or -s2 to standard output.",
    "",
    "Settings, anywhere (-- ends them):",
    "  --doscar=PATH                read PATH (plain, gzip, xz or bzip2) as DOSCAR",
    "  --efermi=E                   shift by the Fermi energy E (eV), not DOSCAR's",
    "  --structure=PATH             read the elements from a VASP 5 POSCAR/CONTCAR",
    "  --noncollinear               16 values per atom line: s p d f, non-collinear",
    "  --quiet                      print nothing on standard output unless it fails",
    "  --help                       print this text",
    "  --version                    print the version",
    "Tables:",
    "  --orbitals=lm|l|d-split|sum  group the orbital columns",
    "  --header                     a first line naming the columns",
    "  --down-negative              spin-down values below 0",
    "  --window=EMIN:EMAX           energies from EMIN to EMAX (either may be empty)",
    "  --moments                    band centre and width of each column",
    "  --gaussian=WIDTH             smoothing by a Gaussian of WIDTH eV (above 0)",
    "  --cumulative                 integrated columns",
    "  --spin=sum|up|down           spin up + down in one column, or one channel",
    "",
    "Examples:",
    "  pdsplit -p 2                            pro-DOS of atom 2 to iLDOS002",
    "  pdsplit --doscar=run1/DOSCAR.gz -ft     total DOS of run1, written here",
    "  pdsplit --quiet --efermi=5.1 -s2 3 4 O  atoms 3 and 4 summed to O, silently",
    "  pdsplit -s2 1-4,9 12-14 surf --spin=sum atoms 1-4, 9, 12-14, up + down",
    "  pdsplit --quiet -p 3 - | head           atom 3 to standard output",
    "  pdsplit --orbitals=l --header -e        s, p, d and total of each element",
    "",
    "Exit status: 0 success, 1 failure, 2 command-line error.",
    "The manual page, man pdsplit, tells the rest.",
});

}  // namespace pdsplit::text
