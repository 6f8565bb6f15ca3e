// The options that reshape every written table (--gaussian, --orbitals,
// --spin, --moments, --window, --cumulative, --down-negative, --header), as a
// transform the table writer applies to each table as read.
#pragma once

#include <memory>

#include "base/console.h"
#include "base/settings.h"
#include "doscar/header.h"
#include "output/table_transform.h"

namespace pdsplit {

// The transform for a run of these settings on a file of header `h`
// (settled: its Fermi energy is --efermi's when given); nothing when no
// option asks for one, so that the tables are written as they are.
// `shifted`: whether the option asks for energies lowered by the Fermi
// energy (no f); `total` for total-DOS tables
// (-t), whose integrated columns are neither broadened, integrated again
// nor given moments. Moments are printed on `console`.
std::unique_ptr<TableTransform> table_options(const Settings& settings, const Header& h,
                                              bool shifted, bool total,
                                              Console& console);

}  // namespace pdsplit
