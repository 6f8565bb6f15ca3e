// Reading the operands of the modes: atom numbers, lists and ranges, read
// whole (an operand is an atom list when it is made only of digits, commas
// and hyphens, a leading '+' allowed), and output names.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pdsplit {

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
// '+', only digits, commas and hyphens (and at least one of them), and
// not "-" alone, which names standard output. Such an operand is never a
// name.
bool looks_like_atom_list(std::string_view operand);

// Reads an operand that looks like an atom list. Atom numbers are read
// whole, of up to nine digits; their range is the caller's to check.
AtomOperand read_atom_operand(std::string_view operand);

// The atoms that the operand `operand` of the mode option `option` names,
// in the order written, each in 1..natom; otherwise throws the "Wrong
// atomic index(es)" error block with a line on standard error naming the
// operand and its fault ("pdsplit: -s2 4-1: a range must rise").
std::vector<std::int32_t> listed_atoms(std::string_view option, std::string_view operand,
                                       std::int32_t natom);

// One atom number (the operands of -p and -s1): as listed_atoms, but a
// list or a range is a fault too.
std::int32_t one_atom(std::string_view option, std::string_view operand, std::int32_t natom);

// The mode option as it is judged (its first five characters, without
// trailing blanks), for the lines that name an operand.
std::string option_text(std::string_view option);

// The prefix of the tables' names for a mode whose one operand is a name
// (`args[0]` is the option): the given name, or `fallback`; more operands
// throw "Too many input argument(s)", and "-" (standard output, which
// takes one table) "Wrong input argument(s)". All but the check that no
// table would replace DOSCAR, which needs the tables' full names.
std::string prefix_operand(std::span<const std::string> args, std::string_view fallback);

}  // namespace pdsplit
