#include "base/vector_unit.h"

namespace pdsplit {

bool has_avx2() {
#ifdef PDSPLIT_AVX2
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return available;
#else
  return false;
#endif
}

}  // namespace pdsplit
