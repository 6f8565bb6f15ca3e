// A plain model of what pdsplit should print and write, independent of the
// code under test: DOSCAR parsed by whitespace tokens and strtod, numbers
// formatted by printf. It knows every kind of file VASP writes: spin or none,
// spin-orbit (64 values wrapped over two lines), the total DOS alone.
#pragma once

#include <string>
#include <vector>

namespace reference {

using Row = std::vector<double>;  // energy, then the values

struct Doscar {
  int natom = 0, ngrid = 0, ntcol = 0, npcol = 0;
  double emax = 0, emin = 0, efermi = 0;
  std::string system;             // columns 1-40 of line 5, trailing blanks cut
  bool projected = false;         // atom blocks follow the total DOS
  bool noncollinear = false;      // total, mx, my, mz per orbital
  bool wrapped = false;           // each grid point of an atom on two lines
  std::vector<Row> total;         // ngrid rows
  std::vector<std::vector<Row>> atoms;  // natom blocks of ngrid rows (none
                                        // without projections)
};

// Parses a well-formed DOSCAR (as the generator writes it). A value line
// shorter than the first one of its block has zeros for its missing values.
Doscar parse(const std::string& text);

// printf-based table forms.
std::string energy_field(double x);  // 11 columns
std::string value_field(double x);   // 12 columns
std::string fixed8(double x);        // 8 columns, 3 decimals, sign kept

// A whole table: one line per row, energy lowered by `shift`.
std::string table(const std::vector<Row>& rows, double shift);

// Sum of atoms (1-based, in the given order) with the energies of atom 1.
std::vector<Row> sum_atoms(const Doscar& d, const std::vector<int>& atoms);

// Console texts.
std::string banner();
// What the heading of a mode's console calls it ("TOTAL DOS" for -t, -ft...).
std::string heading_of(const std::string& option);
std::string summary(const Doscar& d);  // "Opening..." to the grid-points line
std::string error_block(const std::string& message);
// The console of a run that succeeded, without its processor-time line:
// banner, " ::: heading :::", `summary`, the closing lines of a run that
// shifted the energies (or not) and created one file (or several).
std::string success(const std::string& heading, const std::string& summary, bool shifted = true,
                    bool several_files = false);

}  // namespace reference
