#include "structure/beside_doscar.h"

#include <cmath>
#include <cstdio>

#include "base/failure.h"
#include "base/messages.h"
#include "base/text.h"
#include "doscar/doscar_layout.h"
#include "structure/incar.h"

namespace pdsplit {

namespace {

[[noreturn]] void fail_not_noncollinear(const Header& h) {
  std::string shape = "DOSCAR holds " + std::to_string(h.ntcol) + " total-DOS values";
  if (h.projected) shape += " and " + std::to_string(h.npcol) + " values per projected line";
  throw stop_with_message("Error! --noncollinear: " + shape +
                          ", which no non-collinear run writes");
}

// Whether `energy` fits the table's 11-column energy field with its three
// decimals ("%11.3f": -999999.999 to 9999999.999).
bool fits_energy_field(double energy) {
  char text[400];
  return std::isfinite(energy) && std::snprintf(text, sizeof text, "%.3f", energy) <= 11;
}

}  // namespace

RunNeeds needs_of(const Settings& settings, bool mode_needs_elements) {
  RunNeeds needs;
  needs.column_meaning = settings.needs_column_meaning();
  needs.elements = settings.structure.has_value() || mode_needs_elements;
  return needs;
}

Beside settle_header(Header& h, const Settings& settings, RunNeeds needs, Opener& files) {
  Beside beside_doscar;
  SummaryNotes& notes = beside_doscar.notes;
  std::string folder = folder_of(settings.doscar.value_or(kDoscarPath));

  if (settings.efermi) {
    notes.doscar_efermi = h.efermi;
    h.efermi = *settings.efermi;
    // Shifted or not, a table's energies and the moments' E - EF must be
    // numbers the table can show: refused before anything is read further.
    if (!fits_energy_field(h.emin - h.efermi) || !fits_energy_field(h.emax - h.efermi))
      throw Failure(Failure::Report::StderrLine, kExitUsage,
                    "Error! --efermi: puts the energies of this DOSCAR less the Fermi energy "
                    "outside the table's energy field (-999999.999 to 9999999.999 eV)");
  }

  // A Gaussian wider than the whole grid spreads every state over all of
  // it: refused before the blocks are read, not after.
  if (settings.gaussian && h.emax > h.emin && *settings.gaussian > h.emax - h.emin) {
    char range[64];
    std::snprintf(range, sizeof range, "%.3f", h.emax - h.emin);
    throw Failure(Failure::Report::StderrLine, kExitUsage,
                  std::string("Error! --gaussian: wider than the energy range of this DOSCAR (") +
                      range + " eV)");
  }

  if (settings.noncollinear) {
    bool before = h.noncollinear;
    if (!read_as_noncollinear(h)) fail_not_noncollinear(h);
    if (!before && h.noncollinear) notes.calc_type_reason = "(--noncollinear)";
  } else if (needs.column_meaning && noncollinear_or_lm(h)) {
    std::optional<IncarSpin> incar = read_incar(files, beside(folder, "INCAR"));
    if (incar && incar->noncollinear) {
      read_as_noncollinear(h);
      std::string& reason = notes.calc_type_reason;
      reason = '(';
      reason += printable(beside(folder, "INCAR"));
      reason += ": " + incar->statement + ")";
    }
  }

  // --spin chooses among the two channels of a spin-polarised file.
  if (settings.spin) {
    constexpr const char* kNames[] = {"sum", "up", "down"};
    std::string option = std::string("Error! --spin=") + kNames[static_cast<int>(*settings.spin)];
    if (h.noncollinear)
      throw Failure(Failure::Report::StderrLine, kExitUsage,
                    option + ": this DOSCAR is of a non-collinear run, which has no spin channels");
    if (h.ntcol != 4)
      throw Failure(Failure::Report::StderrLine, kExitUsage,
                    option + ": this DOSCAR is of a run without spin (ISPIN = 1)");
  }

  if (needs.elements) {
    beside_doscar.structure = read_structure(files, settings.structure, folder, h.natom);
    notes.elements = std::string(text::kElements) + printable(beside_doscar.structure->file) +
                     "): " + describe_elements(*beside_doscar.structure);
  }
  return beside_doscar;
}

}  // namespace pdsplit
