// An independent, deliberately plain model of what pdsplit should print and
// write, used to build expectations without calling the code under test:
// DOSCAR parsed by whitespace tokens and strtod, numbers formatted by printf.
#pragma once

#include <string>
#include <vector>

namespace reference {

using Row = std::vector<double>;  // energy, then the values

struct Doscar {
  int natom = 0, ngrid = 0, ntcol = 0, npcol = 0;
  double emax = 0, emin = 0, efermi = 0;
  std::string system;             // columns 1-40 of line 5, trailing blanks cut
  std::vector<Row> total;         // ngrid rows
  std::vector<std::vector<Row>> atoms;  // natom blocks of ngrid rows
};

// Parses a well-formed DOSCAR (as the generator writes it).
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
std::string summary(const Doscar& d);  // "Opening..." to the grid-points line
std::string error_block(const std::string& message);
extern const char* const kDone;  // " D O N E! ..." line and the empty line

}  // namespace reference
