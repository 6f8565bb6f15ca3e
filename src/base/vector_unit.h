// Whether this processor has the 256-bit integer vector instructions
// (AVX2, with fused multiply-add) that the field reader and the value formatter use four numbers at
// a time. Binaries are built for any x86-64 processor; the vector code is
// compiled for AVX2 alone and taken only where the processor has it.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PDSPLIT_AVX2 1
#endif

namespace pdsplit {

bool has_avx2();

// Which code the number readers and writers take: the fastest this
// processor runs, or the one-number-at-a-time code every processor runs
// (for tests that compare the two).
enum class NumberPath { Fastest, Portable };

}  // namespace pdsplit
