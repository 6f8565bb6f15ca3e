// Text helpers every layer shares: the fixed-width buffers the command line
// fills, and texts made safe to print on one console line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pdsplit {

// `text` cut to `width` characters or padded with blanks to it, as the
// fixed-width buffers of the command line hold their arguments.
std::string fixed_text(std::string_view text, std::size_t width);

// `text` without its trailing blanks.
std::string_view trim_trailing_blanks(std::string_view text);

// `text` as a user can read it on one console line: control and non-ASCII
// bytes shown as \xNN.
std::string printable(std::string_view text);

}  // namespace pdsplit
