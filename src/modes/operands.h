// Reading atom numbers from command-line operands.
//
// An operand is judged by its first five characters, read as one integer in
// free form: leading blanks skipped, an optional sign and digits, ended by a
// blank, a comma, a slash or the end; whatever follows is ignored.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pdsplit {

constexpr std::size_t kOperandWidth = 5;

enum class AtomRead {
  Value,    // `value` holds the number
  NoValue,  // blanks only, or a leading comma or slash: `value` untouched
  Error,    // anything else where the number should be
};

// Reads the atom number from `ARGV`, the operand in its 5-character buffer.
AtomRead read_atom_number(std::string_view ARGV, std::int32_t& value);

// The prefix of the tables' names for a mode whose one operand is a name
// (`args[0]` is the option): the given name, or `fallback`; more operands
// throw "Too many input argument(s)". All but the check that no table
// would replace DOSCAR, which needs the tables' full names.
std::string prefix_operand(std::span<const std::string> args, std::string_view fallback);

}  // namespace pdsplit
