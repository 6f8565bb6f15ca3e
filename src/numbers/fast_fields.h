// Fast readers of the two shapes VASP writes almost every field in.
#pragma once

#include <cstddef>

#include "base/vector_unit.h"

namespace pdsplit {

// A 12-column value "  0.ddddE+dd" / " -0.ddddE-dd" / "  0.dddd-ddd", or an
// 11-column energy "    -20.000": exactly what read_real_field
// (numbers/field.h) gives, or false for anything else, which
// read_real_field then handles (another shape, a value beyond the doubles).
bool read_value_fast(const char* field12, double& value);
bool read_energy_fast(const char* field11, double& value);

// read_value_fast on up to `count` value fields one after the other from
// `first`, into out[0, count); returns how many were read before the first
// that needs read_real_field. Processors with AVX2 take four at a time.
std::size_t read_value_fields(const char* first, std::size_t count, double* out,
                              NumberPath path = NumberPath::Fastest);

}  // namespace pdsplit
