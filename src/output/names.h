// Output file names: the defaults, atom suffixes and given names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"

namespace pdsplit {

inline constexpr std::string_view kTotalName = "iDOS";
inline constexpr std::string_view kAtomPrefix = "iLDOS";
inline constexpr std::string_view kSumName = "iSUMDOS";

// The atom number in three digits with leading zeros; numbers above 999
// get as many digits as they need.
std::string atom_suffix(std::int32_t atom);

// The name a user gave on the command line, whole, without its trailing
// blanks. Throws the "Empty output file name" error block when nothing is
// left, since no file can be named by it.
std::string given_name(std::string_view argument);

}  // namespace pdsplit
