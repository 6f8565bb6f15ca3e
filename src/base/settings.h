// The settings of one run: what the long options (`--name` or
// `--name=value`) ask for. One plain value, made by the
// command-line parser and handed down explicitly (run, mode frame, readers,
// modes); nothing reads it from anywhere else.
#pragma once

#include <optional>
#include <string>

namespace pdsplit {

// How the orbital columns of a projected table are grouped (--orbitals),
// named by the option's values.
enum class Orbitals { Lm, L, DSplit, Sum };  // lm, l, d-split, sum

// Which spin channels a spin-polarised table keeps (--spin): their sum, one
// column per orbital, or one channel alone.
enum class SpinChannels { Sum, Up, Down };  // sum, up, down

struct Settings {
  // Files read.
  std::optional<std::string> doscar;     // --doscar=PATH: read instead of ./DOSCAR
  std::optional<std::string> structure;  // --structure=PATH: POSCAR/CONTCAR to read

  // What the columns mean and where the energies stand.
  std::optional<double> efermi;  // --efermi=E: the Fermi energy used instead of DOSCAR's
  bool noncollinear = false;     // --noncollinear: 16 values per projected line are s p d f
                                 // of a non-collinear run (total, mx, my, mz each)

  // The console.
  bool quiet = false;  // --quiet: nothing on standard output unless the run fails

  // Shaping of the tables (checked and kept here; their work is done by
  // the units that shape the tables).
  std::optional<Orbitals> orbitals;  // --orbitals=lm|l|d-split|sum
  bool header = false;               // --header: a line naming the columns
  bool down_negative = false;        // --down-negative: spin-down values below 0
  std::optional<double> window_min;  // --window=EMIN:EMAX, either end may be left out
  std::optional<double> window_max;
  bool moments = false;              // --moments: band centres and widths
  std::optional<double> gaussian;    // --gaussian=WIDTH (eV, above 0): smoothing
  bool cumulative = false;           // --cumulative: integrated columns
  std::optional<SpinChannels> spin;  // --spin=sum|up|down: spin-polarised files only

  // Whether an option needs to know what each column of a projected line
  // means (for the one shape two kinds of run share, 16 values and 2
  // total values: decided by --noncollinear or INCAR). No mode needs it of
  // its own: the element sums add whole atoms, whatever their columns mean.
  bool needs_column_meaning() const {
    return orbitals.has_value() || header || down_negative || moments || spin.has_value();
  }
};

}  // namespace pdsplit
