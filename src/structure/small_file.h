// Reading the small text files that stand beside DOSCAR (INCAR, POSCAR,
// CONTCAR) whole, or their first lines, through the same Opener as DOSCAR.
#pragma once

#include <cstddef>
#include <string>

#include "sources/source.h"

namespace pdsplit {

// The most of a small file read: far more than any INCAR or the first
// lines of any POSCAR take.
inline constexpr std::size_t kSmallFileLimit = std::size_t{1} << 20;

// Reads the file `path` opened through `files` into `text`, up to its end
// or the line feed that ends line `lines` (`text` then ends with it).
// Returns false, `text` empty, when there is no file of that name. Throws
// "Error! Cannot read PATH: REASON" when the file cannot be opened or read,
// and when it holds more than kSmallFileLimit bytes before that point.
bool read_small_file(Opener& files, const std::string& path, std::string& text,
                     std::size_t lines = SIZE_MAX);

}  // namespace pdsplit
