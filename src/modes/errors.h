// The error blocks that modes raise by name. Each throws the Failure that
// makes the driver print the block and end the run with status 2.
#pragma once

#include <string_view>

namespace pdsplit {

[[noreturn]] void noatom();      // "No atom specified"
// "Wrong atomic index(es)", and on standard error the line
// "pdsplit: OPTION OPERAND: WHAT" naming the operand and its fault.
[[noreturn]] void wrongindex(std::string_view option, std::string_view operand,
                             std::string_view what);
[[noreturn]] void manarg();      // "Too many input argument(s)"

}  // namespace pdsplit
