#include "reference.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support.h"

namespace reference {

namespace {

double number(std::string token) {
  // VASP writes exponents of three digits without the letter: 0.4648-107.
  std::size_t sign = token.find_first_of("+-", 1);
  if (sign != std::string::npos && token.find_first_of("Ee") == std::string::npos)
    token = token.substr(0, sign).append("e").append(token, sign);
  return std::strtod(token.c_str(), nullptr);
}

Row row_of(const std::string& line) {
  std::istringstream in(line);
  Row row;
  for (std::string token; in >> token;) row.push_back(number(token));
  return row;
}

}  // namespace

Doscar parse(const std::string& text) {
  std::vector<std::string> lines = testing_support::split_lines(text);
  Doscar d;
  d.natom = std::atoi(lines.at(0).substr(0, 4).c_str());
  // Columns 9-12 of line 1: 0 when VASP wrote no projections.
  int flag = lines[0].size() >= 12 ? std::atoi(lines[0].substr(8, 4).c_str()) : 1;
  std::string system = lines.at(4).substr(0, 40);
  d.system = system.substr(0, system.find_last_not_of(" \r") + 1);
  if (lines.size() < 7) return d;  // lines 1-5 or 1-6: no density of states
  Row head = row_of(lines[5]);
  d.emax = head[0], d.emin = head[1], d.ngrid = static_cast<int>(head[2]), d.efermi = head[3];
  std::size_t at = 6;
  for (int g = 0; g < d.ngrid; ++g) d.total.push_back(row_of(lines.at(at++)));
  d.ntcol = static_cast<int>(d.total[0].size()) - 1;
  // Atom blocks only when the flag allows them and the first atom's first
  // value line is there; whatever follows otherwise (a molecular-dynamics
  // run's further blocks) is not read.
  std::size_t first = at + 1;
  d.projected = flag != 0 && lines.size() > first;
  if (!d.projected) return d;
  std::size_t probe = row_of(lines[first]).size();
  // 36 values on the first line and two lines per grid point: a spin-orbit
  // run's 64 values, wrapped (the second line holds value 37 in the
  // energy's form, then 27 values).
  auto grid = static_cast<std::size_t>(d.ngrid);
  std::size_t wrapped_lines = 6 + grid + static_cast<std::size_t>(d.natom) * (2 * grid + 1);
  d.wrapped = d.ntcol == 2 && probe == 37 && lines.size() >= wrapped_lines;
  d.npcol = d.wrapped ? 64 : static_cast<int>(probe) - 1;
  d.noncollinear = d.ntcol == 2 && (d.npcol == 12 || d.npcol == 36 || d.npcol == 64);
  for (int k = 0; k < d.natom; ++k) {
    ++at;  // atom header line
    d.atoms.emplace_back();
    for (int g = 0; g < d.ngrid; ++g) {
      Row row = row_of(lines.at(at++));
      if (d.wrapped) {
        Row rest = row_of(lines.at(at++));
        // A short first line still puts value 37 in its place.
        row.resize(37, 0.0);
        row.insert(row.end(), rest.begin(), rest.end());
      }
      row.resize(static_cast<std::size_t>(d.npcol) + 1, 0.0);
      d.atoms.back().push_back(row);
    }
  }
  return d;
}

namespace {
// %.3f right-aligned in `width`, or stars when it does not fit.
std::string fixed(double x, std::size_t width, bool keep_negative_zero) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.3f", x);
  std::string s = buf == std::string("-0.000") && !keep_negative_zero ? "0.000" : buf;
  return s.size() > width ? std::string(width, '*') : std::string(width - s.size(), ' ') + s;
}
}  // namespace

std::string energy_field(double x) { return fixed(x, 11, false); }
// The summary keeps the sign of any negative value, -0.000 included.
std::string fixed8(double x) { return fixed(x, 8, true); }

std::string value_field(double x) {
  if (x == 0) return "  0.0000E+00";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3e", std::fabs(x));
  // buf: d.ddde[+-]XX[X]
  int exponent = std::atoi(buf + 6) + 1;
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 3);
  char exp[16];
  if (std::abs(exponent) < 100)
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  else
    std::snprintf(exp, sizeof exp, "%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return std::string(" ") + (x < 0 ? "-" : " ") + "0." + digits + exp;
}

std::string table(const std::vector<Row>& rows, double shift) {
  std::string out;
  for (const Row& r : rows) {
    out += energy_field(r[0] - shift);
    for (std::size_t i = 1; i < r.size(); ++i) out += value_field(r[i]);
    out += '\n';
  }
  return out;
}

std::vector<Row> sum_atoms(const Doscar& d, const std::vector<int>& atoms) {
  std::vector<Row> rows;
  for (int g = 0; g < d.ngrid; ++g) {
    Row r(static_cast<std::size_t>(d.npcol) + 1, 0.0);
    r[0] = d.atoms[0][g][0];
    for (int c = 1; c <= d.npcol; ++c)
      for (int a : atoms) r[c] += d.atoms[a - 1][g][c];
    rows.push_back(r);
  }
  return rows;
}

std::string banner() {
  return "\n P D S P L I T\n For 32/64-bit Intel Mac\n Last modified May 28, 2013 22:26 JST\n\n"
         " Splits the VASP DOSCAR into plain DOS tables\n Total, per-atom and summed projected DOS\n"
         " Run it in the folder that holds DOSCAR\n\n";
}

std::string heading_of(const std::string& option) {
  auto has = [&](const char* letters) { return option.find(letters) != std::string::npos; };
  return has("t")    ? "TOTAL DOS"
         : has("a")  ? "PROJECTED DOS FOR ALL ATOMS"
         : has("p")  ? "PROJECTED DOS FOR AN ATOM"
         : has("s1") ? "SUM PROJECTED DOS OF SEQUENTIAL ATOMS"
         : has("s2") ? "SUM PROJECTED DOS OF DISCRETE ATOMS"
                     : "SUM PROJECTED DOS OF EACH ELEMENT";
}

std::string summary(const Doscar& d) {
  std::string s = " Opening DOSCAR file...\n System name: " + d.system + "\n";
  bool spin = d.ntcol == 4;
  s += d.noncollinear ? " Calc. type: non-collinear\n"
       : spin         ? " Calc. type: spin polarized\n"
                      : " Calc. type: non-spin polarized\n";
  if (!d.projected) {
    s += " LDOS type: none\n";
  } else {
    int base = d.npcol / (d.noncollinear ? 4 : spin ? 2 : 1);
    s += (base == 3 || base == 4) ? " LDOS type: l-projected\n" : " LDOS type: l,m-projected\n";
    s += (base == 3 || base == 9) ? " Orbitals found: s p d\n" : " Orbitals found: s p d f\n";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, " Number of atoms: %4d\n", d.natom);
  s += buf;
  s += " Energy min (eV): " + fixed8(d.emin) + "\n Energy max (eV): " + fixed8(d.emax) +
       "\n Fermi level (eV): " + fixed8(d.efermi) + "\n";
  std::snprintf(buf, sizeof buf, " Number of grid points:%5d\n", d.ngrid);
  s += buf;
  return s;
}

std::string error_block(const std::string& message) {
  return " ::: ERROR :::\n Nothing has been done!\n " + message +
         "\n Please use -h option for more information\n\n";
}

std::string success(const std::string& heading, const std::string& summary, bool shifted,
                    bool several_files) {
  return banner() + " ::: " + heading + " :::\n" + summary + " Closing DOSCAR file...\n" +
         (shifted ? " Fermi level is shifted\n" : " Fermi level is not shifted\n") +
         (several_files ? " Creating output files...\n" : " Creating output file...\n") +
         " D O N E! S U C C E S S F U L L Y\n\n";
}

}  // namespace reference
