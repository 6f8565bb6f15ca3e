// The error blocks that modes raise by name. Each throws the Failure that
// makes the driver print the block and end the run with status 2.
#pragma once

namespace pdsplit {

[[noreturn]] void noatom();      // "No atom specified"
[[noreturn]] void wrongindex();  // "Wrong atomic index(es)"
[[noreturn]] void manarg();      // "Too many input argument(s)"

}  // namespace pdsplit
