#include "base/vector_unit.h"

namespace pdsplit {

bool has_avx2() {
#ifdef PDSPLIT_AVX2
  static const bool available = [] {
    __builtin_cpu_init();
    // The field reader also needs fused multiply-add, which every AVX2
    // processor we know has; both are asked for all the same.
    return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
  }();
  return available;
#else
  return false;
#endif
}

}  // namespace pdsplit
