// Four 12-column value fields read at once in the vector unit, on
// processors with AVX2 (see base/vector_unit.h): the vector path of
// read_value_fields.
#pragma once

#include "base/vector_unit.h"

#ifdef PDSPLIT_AVX2

namespace pdsplit {

// The four value fields from `f` (48 characters, nothing read beyond
// them), all of the common shape "  0.ddddE+dd", into out[0, 4): exactly
// what read_value_fast gives for each. False, with out[] in any state, when
// any of the four is of another shape or needs the general path. Only for
// processors where has_avx2() holds.
bool read_four_values_avx2(const char* f, double* out);

}  // namespace pdsplit

#endif
