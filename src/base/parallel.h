// Splitting work across threads: what a thread costs to start, how many
// parts a piece of work is worth, and running the parts on the threads the
// system gives.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace pdsplit {

// Starting a thread costs about a millisecond on the machines we run on: a
// thread is worth starting only for work that takes it at least as long.
inline constexpr std::chrono::microseconds kThreadStartCost{1000};

// The work a thread does in the time it costs to start, for work of which
// a thread does `units_per_millisecond` units a millisecond: the least
// that is worth another thread.
constexpr std::uint64_t work_worth_a_thread(std::uint64_t units_per_millisecond) {
  return units_per_millisecond * static_cast<std::uint64_t>(kThreadStartCost.count()) / 1000;
}

// The parts `work` units are worth splitting into: one for every
// `worth_a_thread` units, at least one and at most `most`.
unsigned parts_for(std::uint64_t work, std::uint64_t worth_a_thread, unsigned most);

// Starts up to `count` threads, thread i running fn(i); fewer when the
// system refuses one (a limit on processes, or no memory for its stack),
// and then no more are tried. The threads are joined when the vector goes.
std::vector<std::jthread> start_threads(unsigned count,
                                        const std::function<void(unsigned index)>& fn);

// Runs fn(part, parts) for every part in [0, parts), on up to `parts`
// threads at once: the calling thread and the helpers the system gives,
// each taking the next part not yet taken until none is left. A thread the
// system refuses leaves its parts to the others (at worst all to the
// calling thread): the same parts run, only on fewer threads. Returns once
// every part is done; when parts throw, every other part still runs and the
// exception of the first of those parts is thrown on.
void run_split(unsigned parts, const std::function<void(unsigned part, unsigned parts)>& fn);

}  // namespace pdsplit
