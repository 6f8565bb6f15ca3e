// pdsplit._core: the tool's readers, sums and table options for Python.
//
// Each call reads DOSCAR as a run of the tool does (header, the files
// beside it, the total-DOS block, the atom blocks streamed to a sink) and
// hands back plain buffers that become numpy arrays without a copy. The
// work runs on a thread of its own with the interpreter lock released; the
// calling thread waits for it and looks for signals meanwhile, so that
// Ctrl-C stops a read of gigabytes at once. Nothing is printed: the
// console is quiet and goes nowhere.
#include <pybind11/pybind11.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/array.h"
#include "base/failure.h"
#include "base/settings.h"
#include "blocks/read_atoms.h"
#include "doscar/doscar_files.h"
#include "doscar/doscar_layout.h"
#include "doscar/header.h"
#include "doscar/readtdos.h"
#include "modes/atom_sum.h"
#include "modes/operands.h"
#include "output/writedos.h"
#include "structure/beside_doscar.h"
#include "tables/moments.h"
#include "tables/shape.h"
#include "tables/table_options.h"

namespace py = pybind11;

namespace pdsplit {
namespace {

// The keywords of a call, checked for their types by the package.
struct Request {
  std::string path = "DOSCAR";
  std::optional<std::vector<std::int32_t>> atoms;
  std::optional<double> efermi;
  std::optional<bool> noncollinear;
  std::string orbitals = "lm";
  std::optional<std::string> spin;
  std::optional<double> window_min, window_max;
  std::optional<double> gaussian;
  std::optional<std::string> structure;
  unsigned threads = 1;
};

// Thrown on the reading threads once the caller has been interrupted.
struct Cancelled {};

// The files of the run, read as the tool reads them, but a read fails at
// once when the call has been interrupted: every reader stops at its next
// block.
class CancellingSource final : public Source {
 public:
  CancellingSource(std::unique_ptr<Source> inner, const std::atomic<bool>& cancel)
      : inner_(std::move(inner)), cancel_(cancel) {}
  long read(char* out, std::size_t size) override {
    if (cancel_.load(std::memory_order_relaxed)) return -ECANCELED;
    return inner_->read(out, size);
  }
  std::optional<std::uint64_t> size() const override { return inner_->size(); }

 private:
  std::unique_ptr<Source> inner_;
  const std::atomic<bool>& cancel_;
};

class CancellingOpener final : public Opener {
 public:
  explicit CancellingOpener(const std::atomic<bool>& cancel) : cancel_(cancel) {}
  Opened open(const std::string& path) override {
    Opened opened = system_opener().open(path);
    if (opened.source)
      opened.source = std::make_unique<CancellingSource>(std::move(opened.source), cancel_);
    return opened;
  }

 private:
  const std::atomic<bool>& cancel_;
};

// Where the quiet console would write: nowhere.
std::FILE* null_stream() {
  static std::FILE* stream = std::fopen("/dev/null", "w");
  return stream;
}

Orbitals grouping_of(const std::string& name) {
  if (name == "lm") return Orbitals::Lm;
  if (name == "l") return Orbitals::L;
  if (name == "d-split") return Orbitals::DSplit;
  if (name == "sum") return Orbitals::Sum;
  throw py::value_error("orbitals='" + name + "': unknown grouping (lm, l, d-split or sum)");
}

SpinChannels channels_of(const std::string& name) {
  if (name == "sum") return SpinChannels::Sum;
  if (name == "up") return SpinChannels::Up;
  if (name == "down") return SpinChannels::Down;
  throw py::value_error("spin='" + name + "': unknown channels (sum, up or down)");
}

// A buffer of doubles handed to numpy as it is.
struct Buffer {
  std::unique_ptr<Memory> memory;
  std::vector<py::ssize_t> shape;

  explicit Buffer(std::vector<py::ssize_t> extents = {0}) : shape(std::move(extents)) {
    std::size_t count = 1;
    for (py::ssize_t n : shape) count *= static_cast<std::size_t>(n);
    memory = std::make_unique<Memory>(count * sizeof(double));
    if (count > 0 && memory->data() == nullptr) throw std::bad_alloc();
  }
  double* data() const { return static_cast<double*>(memory->data()); }
};

py::array to_numpy(Buffer& buffer) {
  Memory* memory = buffer.memory.release();
  py::capsule owner(memory, [](void* p) { delete static_cast<Memory*>(p); });
  return py::array_t<double>(buffer.shape, static_cast<double*>(memory->data()), owner);
}

// A table as the table options make it: the table read, or what the
// transform made of it (kept alive here).
struct Shaped {
  TableView view;
  TransformedTable made;
};

// Copies the values (columns 1..K) of `view` into `values` and its
// energies into `energies` (when not null).
void split_table(TableView view, double* energies, double* values) {
  auto k = static_cast<std::size_t>(view.k);
  for (std::size_t i = 0; i < view.rows(); ++i) {
    const double* row = view.row(i);
    if (energies != nullptr) energies[i] = row[0];
    std::memcpy(values + i * k, row + 1, k * sizeof(double));
  }
}

// One call: DOSCAR's header settled by the keywords and the files beside
// it, as the tool settles it, and the steps that follow it.
class Session {
 public:
  Session(const Request& r, bool elements, const std::atomic<bool>& cancel)
      : request_(r), opener_(cancel), files_(opener_, r.path), console_(null_stream()) {
    console_.set_quiet(true);
    settings_.doscar = r.path;
    settings_.efermi = r.efermi;
    settings_.noncollinear = r.noncollinear.value_or(false);
    settings_.orbitals = grouping_of(r.orbitals);
    if (r.spin) settings_.spin = channels_of(*r.spin);
    settings_.window_min = r.window_min;
    settings_.window_max = r.window_max;
    settings_.gaussian = r.gaussian;
    if (elements) settings_.structure = r.structure;
    h_ = read_checked(files_, [&] { return read_header(console_, files_, settings_); });
    // Every column is named here, so their meaning is needed whenever the
    // caller leaves it to the file and INCAR; noncollinear=False reads the
    // file as its shape says, INCAR unread.
    RunNeeds needs;
    needs.column_meaning = r.noncollinear.value_or(true);
    needs.elements = elements && h_.projected;
    beside_ = settle_header(h_, settings_, needs, files_.plain());
    read_checked(files_, [&] { print_summary(console_, h_, beside_.notes); });
    if (h_.projected) layout_ = column_layout(h_);
    transform_ = table_options(settings_, h_, true, false, console_);
    total_transform_ = table_options(settings_, h_, true, true, console_);
  }

  const Header& header() const { return h_; }
  const Settings& settings() const { return settings_; }
  const Structure& structure() const { return *beside_.structure; }

  std::string spin() const {
    if (h_.noncollinear) return "noncollinear";
    bool polarised = layout_ ? layout_->spin == Spin::Polarised : h_.ntcol == 4;
    return polarised ? "collinear" : "";
  }

  // The planned columns of projected tables; a grouping the file cannot
  // take fails here, before the blocks are read.
  ColumnPlan plan() const {
    if (!layout_) return {};
    try {
      return plan_columns(*layout_, settings_.orbitals.value_or(Orbitals::Lm), settings_.spin);
    } catch (const Failure& f) {
      throw py::value_error(f.text());  // a grouping this file cannot take
    }
  }

  // The atoms asked for, each checked against the file's atoms.
  std::vector<std::int32_t> atoms(bool all_when_none) const {
    std::vector<std::int32_t> atoms;
    if (request_.atoms) {
      atoms = *request_.atoms;
    } else if (all_when_none) {
      for (std::int32_t a = 1; a <= h_.natom; ++a) atoms.push_back(a);
    }
    for (std::int32_t a : atoms)
      if (a < 1 || a > h_.natom)
        throw py::value_error("atom " + std::to_string(a) + " is not in the file's atoms 1-" +
                              std::to_string(h_.natom));
    return atoms;
  }

  void require_projected() const {
    if (!h_.projected)
      throw stop_with_message(
          "Error! DOSCAR holds no projected DOS (VASP writes it only when LORBIT is set)");
  }

  Shaped shape(const std::string& name, const double* table, std::int32_t ngrid,
               std::int32_t k, bool total) const {
    const TableTransform* transform = total ? total_transform_.get() : transform_.get();
    if (transform == nullptr) return {{table, ngrid, k}, {}};
    std::vector<std::string> lines;
    TransformedTable made = transform->transform(name, h_.efermi, table, ngrid, k, &lines);
    TableView view{made.table, made.ngrid, made.k};
    return {view, std::move(made)};
  }

  // The total-DOS block as the table options make it.
  Table read_total() {
    Table tdos(h_.ngrid, h_.ntcol);
    read_checked(files_, [&] { readtdos(tdos.data(), h_.ngrid, h_.ntcol, console_, files_); });
    return tdos;
  }

  void read_blocks(AtomSink& sink) {
    read_checked(files_, [&] {
      read_atoms(h_.natom, h_.ngrid, h_.npcol, h_.wrapped, sink, console_, files_,
                 request_.threads);
    });
  }

  Projected blocks() const { return {h_.natom, h_.ngrid, h_.npcol, request_.threads}; }

 private:
  const Request& request_;
  CancellingOpener opener_;
  DoscarFiles files_;
  Console console_;
  Settings settings_;
  Header h_;
  Beside beside_;
  std::optional<ColumnLayout> layout_;
  std::unique_ptr<TableTransform> transform_, total_transform_;
};

std::vector<std::string> names_of(const ColumnPlan& plan) {
  std::vector<std::string> names;
  for (const PlannedColumn& column : plan) names.push_back(column.name());
  return names;
}

// The atom tables of the atoms asked for, as the table options make them,
// each copied into its place (and into every place of an atom asked for
// twice) on whichever reading thread completes it.
class Collect final : public AtomSink {
 public:
  Collect(const Session& session, std::vector<std::int32_t> atoms,
          const std::atomic<bool>& cancel)
      : session_(session), atoms_(std::move(atoms)), cancel_(cancel) {
    for (std::size_t p = 0; p < atoms_.size(); ++p) places_[atoms_[p]].push_back(p);
  }

  std::vector<AtomRange> wanted() const override {
    std::vector<AtomRange> ranges;
    for (std::int32_t a : atoms_) ranges.push_back({a, a});
    return ranges;
  }
  bool in_order() const override { return false; }

  void take(std::int32_t atom, const double* table) override {
    if (cancel_.load(std::memory_order_relaxed)) throw Cancelled{};
    const Header& h = session_.header();
    Shaped s = session_.shape("of atom " + std::to_string(atom), table, h.ngrid, h.npcol, false);
    std::call_once(made_, [&] {
      auto n = static_cast<py::ssize_t>(atoms_.size());
      pdos = Buffer({n, s.view.ngrid, s.view.k});
      energies = Buffer({n, s.view.ngrid});
    });
    // Atoms whose energies differ keep different rows in a window.
    if (s.view.ngrid != pdos.shape[1])
      throw py::value_error("window keeps " + std::to_string(s.view.ngrid) + " rows of atom " +
                            std::to_string(atom) + " but " + std::to_string(pdos.shape[1]) +
                            " of another: read these atoms apart");
    std::size_t rows = s.view.rows();
    for (std::size_t p : places_.at(atom))
      split_table(s.view, energies.data() + p * rows,
                  pdos.data() + p * rows * static_cast<std::size_t>(s.view.k));
  }

  Buffer pdos, energies;

 private:
  const Session& session_;
  std::vector<std::int32_t> atoms_;
  std::unordered_map<std::int32_t, std::vector<std::size_t>> places_;
  const std::atomic<bool>& cancel_;
  std::once_flag made_;
};

// Sums of atoms, each made by the tool's AtomSum as the blocks come in
// order.
class Sums final : public AtomSink {
 public:
  Sums(const Projected& blocks, const std::atomic<bool>& cancel)
      : blocks_(blocks), cancel_(cancel) {}
  void add(std::vector<std::int32_t> atoms) {
    sums_.emplace_back(AtomList::list(std::move(atoms)), blocks_);
  }
  std::vector<AtomRange> wanted() const override {
    std::vector<AtomRange> ranges;
    for (const AtomSum& sum : sums_)
      for (AtomRange r : sum.wanted()) ranges.push_back(r);
    return ranges;
  }
  bool in_order() const override { return true; }
  void take(std::int32_t atom, const double* table) override {
    if (cancel_.load(std::memory_order_relaxed)) throw Cancelled{};
    for (AtomSum& sum : sums_) sum.take(atom, table);
  }
  const double* table(std::size_t i) const { return sums_[i].table(); }

 private:
  Projected blocks_;
  const std::atomic<bool>& cancel_;
  std::vector<AtomSum> sums_;
};

// What a call hands back, made without the interpreter.
struct Result {
  double efermi = 0;
  std::int32_t natom = 0;
  std::string spin;
  std::vector<std::string> total_columns, columns;
  std::optional<Buffer> energies, total, pdos, atom_energies;
  std::vector<std::int32_t> atoms;
  std::vector<std::pair<std::string, Buffer>> sums;
  std::vector<NamedMoments> moments;
};

Result describe(const Session& session) {
  Result r;
  const Header& h = session.header();
  r.efermi = h.efermi;
  r.natom = h.projected ? h.natom : 0;
  r.spin = session.spin();
  r.total_columns = names_of(total_dos_plan(h.ntcol, session.settings().spin));
  r.columns = names_of(session.plan());
  return r;
}

void take_total(Session& session, Result& r) {
  const Header& h = session.header();
  Table tdos = session.read_total();
  Shaped s = session.shape("of the total DOS", tdos.data(), h.ngrid, h.ntcol, true);
  r.energies = Buffer({s.view.ngrid});
  r.total = Buffer({s.view.ngrid, s.view.k});
  split_table(s.view, r.energies->data(), r.total->data());
}

// A sum's table as the table options make it.
Buffer sum_buffer(const Session& session, const std::string& name, const double* table) {
  const Header& h = session.header();
  Shaped s = session.shape(name, table, h.ngrid, h.npcol, false);
  Buffer out({s.view.ngrid, s.view.k});
  split_table(s.view, nullptr, out.data());
  return out;
}

Result read_work(const Request& q, const std::atomic<bool>& cancel) {
  Session session(q, false, cancel);
  Result r = describe(session);
  take_total(session, r);
  if (!session.header().projected) {
    if (q.atoms && !q.atoms->empty()) session.require_projected();
    return r;
  }
  Collect collect(session, session.atoms(true), cancel);
  session.read_blocks(collect);
  r.atoms = session.atoms(true);
  if (r.atoms.empty()) {
    // No atom asked for: empty arrays of the shape the options give.
    std::int32_t ngrid = static_cast<std::int32_t>(r.energies->shape[0]);
    collect.pdos = Buffer({0, ngrid, static_cast<py::ssize_t>(r.columns.size())});
    collect.energies = Buffer({0, ngrid});
  }
  r.pdos = std::move(collect.pdos);
  r.atom_energies = std::move(collect.energies);
  return r;
}

Result total_work(const Request& q, const std::atomic<bool>& cancel) {
  Session session(q, false, cancel);
  Result r = describe(session);
  take_total(session, r);
  return r;
}

Result sum_work(const Request& q, const std::atomic<bool>& cancel) {
  Session session(q, false, cancel);
  Result r = describe(session);
  session.require_projected();
  std::vector<std::int32_t> atoms = session.atoms(false);
  if (atoms.empty()) throw py::value_error("atoms: no atom to add");
  Sums sums(session.blocks(), cancel);
  sums.add(atoms);
  session.read_blocks(sums);
  r.sums.emplace_back("", sum_buffer(session, "of the sum", sums.table(0)));
  return r;
}

Result element_work(const Request& q, const std::atomic<bool>& cancel) {
  Session session(q, true, cancel);
  Result r = describe(session);
  session.require_projected();
  Sums sums(session.blocks(), cancel);
  const std::vector<Element>& elements = session.structure().elements;
  for (const Element& e : elements) sums.add(e.atoms);
  session.read_blocks(sums);
  for (std::size_t i = 0; i < elements.size(); ++i)
    r.sums.emplace_back(elements[i].symbol,
                        sum_buffer(session, "of " + elements[i].symbol, sums.table(i)));
  return r;
}

// --moments of the total DOS (no atoms: its DOS columns alone), or of the
// sum of the atoms, as the tool takes them of its -t or -s2 table.
Result moments_work(const Request& q, const std::atomic<bool>& cancel) {
  Session session(q, false, cancel);
  Result r = describe(session);
  const Header& h = session.header();
  if (!q.atoms) {
    Table tdos = session.read_total();
    Shaped s = session.shape("of the total DOS", tdos.data(), h.ngrid, h.ntcol, true);
    ColumnPlan all = total_dos_plan(h.ntcol), dos;
    for (std::size_t j = 0; j < all.size(); ++j)
      if (all[j].group == "DOS") {
        dos.push_back(all[j]);
        dos.back().inputs = {static_cast<std::int32_t>(j + 1)};
      }
    Table only = shape_table(dos, s.view);
    r.moments = table_moments(dos, only.view(), h.efermi);
    return r;
  }
  session.require_projected();
  std::vector<std::int32_t> atoms = session.atoms(false);
  if (atoms.empty()) throw py::value_error("atoms: no atom to add");
  ColumnPlan plan = session.plan();
  Sums sums(session.blocks(), cancel);
  sums.add(atoms);
  session.read_blocks(sums);
  Shaped s = session.shape("of the sum", sums.table(0), h.ngrid, h.npcol, false);
  r.moments = table_moments(plan, s.view, h.efermi);
  return r;
}

// Runs `work` on a thread of its own, the interpreter lock released, and
// looks for signals every few milliseconds meanwhile: a pending Ctrl-C
// stops the reading and is raised here (KeyboardInterrupt).
Result run_released(Result (*work)(const Request&, const std::atomic<bool>&), const Request& q) {
  std::atomic<bool> cancel{false};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::optional<Result> result;
  std::exception_ptr failure;
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        result.emplace(work(q, cancel));
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; })) {
      if (interrupted) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        interrupted = PyErr_CheckSignals() != 0;
      }
      if (interrupted) cancel = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

py::dict to_python(Result& r) {
  py::dict d;
  d["efermi"] = r.efermi;
  d["natom"] = r.natom;
  d["spin"] = r.spin.empty() ? py::object(py::none()) : py::object(py::str(r.spin));
  d["total_columns"] = r.total_columns;
  d["columns"] = r.columns;
  auto array = [](std::optional<Buffer>& b) {
    return b ? py::object(to_numpy(*b)) : py::object(py::none());
  };
  d["energies"] = array(r.energies);
  d["total"] = array(r.total);
  d["pdos"] = array(r.pdos);
  d["atom_energies"] = array(r.atom_energies);
  d["atoms"] = r.atoms;
  py::list sums;
  for (auto& [name, buffer] : r.sums) sums.append(py::make_tuple(name, to_numpy(buffer)));
  d["sums"] = sums;
  py::list moments;
  for (const NamedMoments& m : r.moments) {
    const Moments& x = m.moments;
    moments.append(py::make_tuple(m.name, x.integral, x.filling, x.centre, x.width, x.skewness,
                                  x.kurtosis));
  }
  d["moments"] = moments;
  return d;
}

template <Result (*work)(const Request&, const std::atomic<bool>&)>
py::dict call(const Request& q) {
  Result r = run_released(work, q);
  return to_python(r);
}

// An atom list as the command line writes it ("1-4,9").
std::vector<std::int32_t> parse_atoms(const std::string& text) {
  if (!looks_like_atom_list(text))
    throw py::value_error("atoms='" + text + "': not an atom list (such as \"1-4,9\")");
  AtomOperand operand = read_atom_operand(text);
  if (!operand.fault.empty()) throw py::value_error("atoms='" + text + "': " + operand.fault);
  std::vector<std::int32_t> atoms;
  for (AtomSpan span : operand.spans)
    for (std::int64_t a = span.first; a <= span.last; ++a) {
      if (atoms.size() > (std::size_t{1} << 26))
        throw py::value_error("atoms='" + text + "': too many atoms");
      atoms.push_back(static_cast<std::int32_t>(a));
    }
  return atoms;
}

// The tool's table text of `table` (rows of an energy and K values), each
// energy lowered by `shift`.
py::bytes format(py::array_t<double, py::array::c_style | py::array::forcecast> table,
                 double shift) {
  if (table.ndim() != 2 || table.shape(1) < 1)
    throw py::value_error("table: rows of an energy and its values expected");
  auto ngrid = static_cast<std::int32_t>(table.shape(0));
  auto k = static_cast<std::int32_t>(table.shape(1) - 1);
  std::string text(table_text_size(ngrid, k), '\0');
  format_table(shift, table.data(), ngrid, k, text.data());
  return py::bytes(text);
}

}  // namespace
}  // namespace pdsplit

PYBIND11_MODULE(_core, m) {
  using namespace pdsplit;
  m.doc() = "The compiled core of pdsplit: DOSCAR read by the tool's own code.";
  static py::exception<Failure> doscar_error(m, "DoscarError");
  // Faults of the file are DoscarError; what the tool refuses as a bad
  // option value (status 2: --efermi, --gaussian, --window on this file)
  // is a ValueError here.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Failure& f) {
      if (f.status() == kExitUsage)
        PyErr_SetString(PyExc_ValueError, f.text());
      else
        doscar_error(f.text());
    }
  });
  py::class_<Request>(m, "Request")
      .def(py::init<>())
      .def_readwrite("path", &Request::path)
      .def_readwrite("atoms", &Request::atoms)
      .def_readwrite("efermi", &Request::efermi)
      .def_readwrite("noncollinear", &Request::noncollinear)
      .def_readwrite("orbitals", &Request::orbitals)
      .def_readwrite("spin", &Request::spin)
      .def_readwrite("window_min", &Request::window_min)
      .def_readwrite("window_max", &Request::window_max)
      .def_readwrite("gaussian", &Request::gaussian)
      .def_readwrite("structure", &Request::structure)
      .def_readwrite("threads", &Request::threads);
  m.def("read", &call<read_work>, "The total DOS and the atom blocks asked for.");
  m.def("total", &call<total_work>, "The total DOS alone.");
  m.def("sum_atoms", &call<sum_work>, "The sum of the atoms, streamed.");
  m.def("element_sums", &call<element_work>, "The sum of each element's atoms, streamed.");
  m.def("moments", &call<moments_work>, "The moments --moments gives.");
  m.def("parse_atoms", &parse_atoms, "An atom list as the command line writes it.");
  m.def("format_table", &format, "The tool's text of a table.");
  m.attr("default_threads") =
      std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}
