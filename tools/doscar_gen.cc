// doscar_gen: writes a synthetic DOSCAR in VASP's exact line formats.
//
// The values are smooth and realistic (Gaussian bands per orbital, with
// tails that fall to 1e-45 and below 1e-99, where VASP drops the E of the
// exponent), seeded so that a run can be repeated exactly.
//
//   doscar_gen [--natom N] [--ngrid G] [--npcol P] [--seed S]
//              [--efermi E] [--emin A] [--emax B] [--system TEXT]
//              [--atom-shift] [--crlf] [--noncollinear]
//              [--total-only | --md | --header-only LINES]
//              [--compress gz|xz|bz2] OUTPUT
//
// NPCOL picks the projection: 3, 4, 9, 16 without spin, 6, 8, 18, 32 with;
// with --noncollinear (spin-orbit runs: total, mx, my, mz per orbital) 12,
// 16, 36 or 64, the last written as VASP writes it, each grid point on two
// lines (the energy and values 1-36, then value 37 in the energy's form and
// values 38-64).
// --atom-shift gives each atom block energies that differ from atom 1's.
// --total-only writes what a run without projections leaves (the flag of
// line 1 at 0, no atom blocks); --md a molecular-dynamics file (flag 0, then
// a second total-DOS block with its own header line); --header-only the
// first 5 or 6 lines of a run that stopped before writing any DOS.
// --compress writes OUTPUT compressed by zlib (gzip form), liblzma (xz) or
// libbz2.
#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
  int natom = 3;
  int ngrid = 301;
  int npcol = 9;
  std::uint64_t seed = 1;
  double efermi = 5.12345678;
  double emin = -20.0;
  double emax = 15.0;
  std::string system = "unknown system";
  bool atom_shift = false;
  bool crlf = false;
  bool noncollinear = false;
  bool total_only = false;
  bool md = false;
  int header_only = 0;
  std::string compress;
  const char* output = nullptr;
};

// splitmix64: small, fast and the same on every platform.
struct Random {
  std::uint64_t state;
  double uniform() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
  }
};

// Fortran's Ew.d: [-]0.ddddE+xx, or [-]0.dddd+xxx for exponents of three
// digits, right-aligned in `width`.
std::string fortran_e(double x, int width, int digits) {
  char mantissa[64];
  int exponent = 0;
  if (x == 0) {
    std::snprintf(mantissa, sizeof mantissa, "0.%0*d", digits, 0);
  } else {
    char sci[64];
    std::snprintf(sci, sizeof sci, "%.*e", digits - 1, std::fabs(x));
    char* e = std::strchr(sci, 'e');
    exponent = std::atoi(e + 1) + 1;
    std::string d(1, sci[0]);
    d.append(sci + 2, e);
    std::snprintf(mantissa, sizeof mantissa, "%s0.%s", x < 0 ? "-" : "", d.c_str());
  }
  char exp_part[16];
  if (std::abs(exponent) < 100)
    std::snprintf(exp_part, sizeof exp_part, "E%c%02d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
  else
    std::snprintf(exp_part, sizeof exp_part, "%c%03d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
  std::string field = std::string(mantissa) + exp_part;
  if (static_cast<int>(field.size()) < width)
    field.insert(0, static_cast<std::size_t>(width) - field.size(), ' ');
  return field;
}

bool spin_polarised(int npcol) {
  return npcol == 6 || npcol == 8 || npcol == 18 || npcol == 32;
}

// One band: a Gaussian of given centre, width and height.
struct Band {
  double centre, width, height;
  double at(double e) const {
    double t = (e - centre) / width;
    return height * std::exp(-t * t);
  }
};

std::vector<Band> random_bands(Random& rng, const Options& o, int count) {
  std::vector<Band> bands;
  for (int i = 0; i < count; ++i)
    bands.push_back({o.emin + (o.emax - o.emin) * (0.1 + 0.8 * rng.uniform()),
                     0.3 + 1.8 * rng.uniform(), 0.05 + 3.0 * rng.uniform()});
  return bands;
}

double density(const std::vector<Band>& bands, double e) {
  double sum = 0;
  for (const Band& b : bands) sum += b.at(e);
  return sum;
}

// The whole file in memory, written (and compressed) at the end.
class Writer {
 public:
  explicit Writer(bool crlf) : eol_(crlf ? "\r\n" : "\n") {}
  void line(const std::string& text) {
    text_ += text;
    text_ += eol_;
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  const char* eol_;
};

bool compress_gzip(const std::string& in, std::string& out) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&z, in.size()) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int status = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return status == Z_STREAM_END;
}

bool compress_xz(const std::string& in, std::string& out) {
  out.resize(lzma_stream_buffer_bound(in.size()));
  std::size_t size = 0;
  if (lzma_easy_buffer_encode(3, LZMA_CHECK_CRC64, nullptr,
                              reinterpret_cast<const std::uint8_t*>(in.data()), in.size(),
                              reinterpret_cast<std::uint8_t*>(out.data()), &size,
                              out.size()) != LZMA_OK)
    return false;
  out.resize(size);
  return true;
}

bool compress_bzip2(const std::string& in, std::string& out) {
  out.resize(in.size() + in.size() / 100 + 600);
  auto size = static_cast<unsigned>(out.size());
  if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(in.data()),
                               static_cast<unsigned>(in.size()), 9, 0, 0) != BZ_OK)
    return false;
  out.resize(size);
  return true;
}

bool write_output(const Options& o, const std::string& text) {
  std::string packed;
  const std::string* data = &text;
  if (!o.compress.empty()) {
    bool ok = o.compress == "gz"    ? compress_gzip(text, packed)
              : o.compress == "xz"  ? compress_xz(text, packed)
              : o.compress == "bz2" ? compress_bzip2(text, packed)
                                    : false;
    if (!ok) {
      std::fprintf(stderr, "doscar_gen: cannot compress as %s\n", o.compress.c_str());
      return false;
    }
    data = &packed;
  }
  std::FILE* f = std::fopen(o.output, "wb");
  if (f == nullptr || std::fwrite(data->data(), 1, data->size(), f) != data->size() ||
      std::fclose(f) != 0) {
    std::perror(o.output);
    return false;
  }
  return true;
}

std::string grid_line(const Options& o) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%16.8f%16.8f%5d%16.8f%16.8f", o.emax, o.emin,
                o.ngrid, o.efermi, 1.0);
  return buf;
}

std::string energy_field(double e) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%11.3f", e);
  return buf;
}

int usage() {
  std::fprintf(stderr,
               "usage: doscar_gen [--natom N] [--ngrid G] [--npcol P] [--seed S]\n"
               "                  [--efermi E] [--emin A] [--emax B] [--system TEXT]\n"
               "                  [--atom-shift] [--crlf] [--noncollinear]\n"
               "                  [--total-only | --md | --header-only LINES]\n"
               "                  [--compress gz|xz|bz2] OUTPUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--atom-shift") o.atom_shift = true;
    else if (a == "--crlf") o.crlf = true;
    else if (a == "--noncollinear") o.noncollinear = true;
    else if (a == "--total-only") o.total_only = true;
    else if (a == "--md") o.md = true;
    else if (a.rfind("--", 0) == 0 && (v = value()) == nullptr) return usage();
    else if (a == "--natom") o.natom = std::atoi(v);
    else if (a == "--ngrid") o.ngrid = std::atoi(v);
    else if (a == "--npcol") o.npcol = std::atoi(v);
    else if (a == "--seed") o.seed = std::strtoull(v, nullptr, 10);
    else if (a == "--efermi") o.efermi = std::atof(v);
    else if (a == "--emin") o.emin = std::atof(v);
    else if (a == "--emax") o.emax = std::atof(v);
    else if (a == "--system") o.system = v;
    else if (a == "--header-only") o.header_only = std::atoi(v);
    else if (a == "--compress") o.compress = v;
    else if (a.rfind("--", 0) == 0) return usage();
    else o.output = argv[i];
  }
  if (o.output == nullptr || o.natom < 0 || o.ngrid < 2 || o.npcol < 1) return usage();
  Writer out(o.crlf);
  Random rng{o.seed};
  bool spin = !o.noncollinear && spin_polarised(o.npcol);
  double step = (o.emax - o.emin) / (o.ngrid - 1);

  char head[64];
  std::snprintf(head, sizeof head, "%4d%4d%4d%4d", o.natom, o.natom,
                o.total_only || o.md ? 0 : 1, 0);
  out.line(head);
  out.line("  " + fortran_e(16.48482, 13, 7) + "  " + fortran_e(0.404e-9, 13, 7) +
           "  " + fortran_e(0.404e-9, 13, 7) + "  " + fortran_e(0.404e-9, 13, 7) +
           "  " + fortran_e(1e-16, 13, 7));
  out.line("  1.000000000000000E-004");
  out.line("  CAR ");
  std::string system = " " + o.system;
  if (system.size() < 41) system.resize(41, ' ');
  out.line(system);
  if (o.header_only == 5) return write_output(o, out.text()) ? 0 : 1;
  out.line(grid_line(o));
  if (o.header_only == 6) return write_output(o, out.text()) ? 0 : 1;

  // Total DOS: density (and, with spin, its down part) and the integral.
  std::vector<Band> up = random_bands(rng, o, 12), down = random_bands(rng, o, 12);
  double int_up = 0, int_down = 0;
  for (int g = 0; g < o.ngrid; ++g) {
    double e = o.emin + step * g;
    double du = density(up, e) * o.natom, dd = density(down, e) * o.natom;
    int_up += du * step;
    int_down += dd * step;
    std::string line = energy_field(e);
    if (spin)
      line += fortran_e(du, 12, 4) + fortran_e(dd, 12, 4) + fortran_e(int_up, 12, 4) +
              fortran_e(int_down, 12, 4);
    else
      line += fortran_e(du + dd, 12, 4) + fortran_e(int_up + int_down, 12, 4);
    out.line(line);
  }

  if (o.md) {
    // A molecular-dynamics run's second block: its own header line, then
    // the total DOS of another step.
    out.line(grid_line(o));
    for (int g = 0; g < o.ngrid; ++g) {
      double e = o.emin + step * g;
      out.line(energy_field(e) + fortran_e(density(down, e), 12, 4) +
               fortran_e(density(up, e), 12, 4));
    }
  }
  if (o.total_only || o.md) return write_output(o, out.text()) ? 0 : 1;

  for (int k = 1; k <= o.natom; ++k) {
    out.line(grid_line(o));
    std::vector<std::vector<Band>> columns;
    for (int c = 0; c < o.npcol; ++c) columns.push_back(random_bands(rng, o, 3));
    double offset = o.atom_shift ? 0.0125 * k : 0.0;
    for (int g = 0; g < o.ngrid; ++g) {
      double e = o.emin + step * g;
      std::string line = energy_field(e + offset);
      for (int c = 0; c < o.npcol; ++c) {
        double v = density(columns[c], e) * 0.2;
        // Far from the bands VASP's smearing leaves exact zeros and tiny
        // values of either sign.
        double r = rng.uniform();
        if (v < 1e-12 && r < 0.5) v = 0;
        else if (v < 1e-6 && r < 0.75) v = -v;
        // The magnetisation components of a spin-orbit run take either sign.
        if (o.noncollinear && c % 4 != 0 && r > 0.6) v = -v;
        if (o.noncollinear && o.npcol == 64 && c == 36) {
          // VASP's line holds 37 fields: value 37 starts a line of its own,
          // in the energy's form, and the values after it follow it.
          out.line(line);
          line = energy_field(v);
          continue;
        }
        line += fortran_e(v, 12, 4);
      }
      out.line(line);
    }
  }
  return write_output(o, out.text()) ? 0 : 1;
}
