// Output file names: the defaults, atom and element suffixes and given names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_id.h"
#include "base/text.h"

namespace pdsplit {

inline constexpr std::string_view kTotalName = "iDOS";
inline constexpr std::string_view kAtomPrefix = "iLDOS";
inline constexpr std::string_view kSumName = "iSUMDOS";
// The output name that stands for standard output (-t, -p, -s1, -s2).
inline constexpr std::string_view kStandardOutput = "-";

// The atom number in three digits with leading zeros; numbers above 999
// get as many digits as they need.
std::string atom_suffix(std::int32_t atom);

// What follows the prefix of an element's table: "_" and the symbol
// ("iSUMDOS_Fe", "slab_Fe").
std::string element_suffix(std::string_view symbol);

// The name a user gave on the command line, whole, without its trailing
// blanks. Throws the "Empty output file name" error block when nothing is
// left, since no file can be named by it.
std::string given_name(std::string_view argument);

// Throws the "Output file would overwrite DOSCAR" error block when the
// table named FILENAME would replace the DOSCAR being read: a name that is
// DOSCAR (or one of its compressed names) in the current folder however it
// is spelt, or a name that is the file read itself (`input`), such as a hard
// link to it. A symbolic link named as output is not followed: it is
// replaced, as any name is.
void refuse_overwriting_input(const std::string& FILENAME, const FileId& input);

}  // namespace pdsplit
