// The vector path of read_value_fields: four value fields at once with AVX2.
#pragma once

#include <cstddef>

#include "base/vector_unit.h"

#ifdef PDSPLIT_AVX2

namespace pdsplit {

// Groups of four value fields from `f` (48 characters a group, nothing
// read beyond the last), each of the common shape "  0.ddddE+dd", into
// out[0, 4 x groups): exactly what read_value_fast gives for each. Returns
// the number of groups read; the group after them, if any, holds a field
// of another shape or one that needs the general path, and its out[] are
// in any state. Only for processors where has_avx2() holds.
std::size_t read_value_groups_avx2(const char* f, std::size_t groups, double* out);

}  // namespace pdsplit

#endif
