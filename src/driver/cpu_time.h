// Processor time used so far by the process.
#pragma once

namespace pdsplit {

// User plus system time in seconds; 0 when it cannot be obtained.
double cpu_time();

}  // namespace pdsplit
