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
#include <vector>

namespace pdsplit {

constexpr std::size_t kOperandWidth = 5;

enum class AtomRead {
  Value,    // `value` holds the number
  NoValue,  // blanks only, or a leading comma or slash: `value` untouched
  Error,    // anything else where the number should be
};

// Reads the atom number from `ARGV`, the operand in its 5-character buffer.
AtomRead read_atom_number(std::string_view ARGV, std::int32_t& value);

// Atoms first to last (first <= last), as a list writes them.
struct AtomSpan {
  std::int32_t first = 0, last = 0;
};

// An atom list as written: comma-separated atoms and rising ranges
// ("1-4,9", "007", "+5"), in the order written.
struct AtomOperand {
  std::vector<AtomSpan> spans;
  std::string fault;  // what is wrong with it ("a range must rise"); empty when none
};

// Whether `operand` is written as an atom list: after an optional leading
// '+', only digits, commas and hyphens (and at least one of them). Such an
// operand is never a name.
bool looks_like_atom_list(std::string_view operand);

// Reads an operand that looks like an atom list. Atom numbers are read
// whole, of up to nine digits; their range is the caller's to check.
AtomOperand read_atom_operand(std::string_view operand);

// The prefix of the tables' names for a mode whose one operand is a name
// (`args[0]` is the option): the given name, or `fallback`; more operands
// throw "Too many input argument(s)". All but the check that no table
// would replace DOSCAR, which needs the tables' full names.
std::string prefix_operand(std::span<const std::string> args, std::string_view fallback);

}  // namespace pdsplit
