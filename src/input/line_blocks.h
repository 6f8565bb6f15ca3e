// Parsing the lines of a large file on several threads, with the line
// numbers and the error a sequential read would give.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "input/doscar_reader.h"

namespace pdsplit {

// Handles one line: its number (from 1), its text without the line end,
// and whether a line feed ended it. May throw a Failure.
using LineHandler =
    std::function<void(std::int64_t number, std::string_view line, bool complete)>;

// Hands every line after the reader's current one (of a regular file), up
// to line `last_line`,
// to `handle`, running up to `threads` handlers at once on different lines.
// When handlers fail on several lines, the Failure of the first of those
// lines is thrown; when the file ends before `last_line`, the end-of-file
// Failure with `needed_lines`. `on_block`, when given, hears the bytes of
// each block once its lines are handled.
void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads,
                   const LineHandler& handle,
                   const std::function<void(std::size_t)>& on_block = {});

}  // namespace pdsplit
