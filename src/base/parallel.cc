#include "base/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>

namespace pdsplit {

unsigned parts_for(std::uint64_t work, std::uint64_t worth_a_thread, unsigned most) {
  std::uint64_t parts = work / std::max<std::uint64_t>(worth_a_thread, 1);
  return static_cast<unsigned>(std::clamp<std::uint64_t>(parts, 1, std::max(most, 1u)));
}

std::vector<std::jthread> start_threads(unsigned count,
                                        const std::function<void(unsigned)>& fn) {
  std::vector<std::jthread> threads;
  threads.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    try {
      threads.emplace_back(fn, i);
    } catch (const std::system_error&) {
      break;  // fewer threads, the same work
    }
  }
  return threads;
}

void run_split(unsigned parts, const std::function<void(unsigned, unsigned)>& fn) {
  if (parts == 0) return;
  if (parts == 1) return fn(0, 1);
  std::atomic<unsigned> next{0};
  std::vector<std::exception_ptr> errors(parts);
  auto take_parts = [&] {
    for (unsigned part; (part = next.fetch_add(1)) < parts;) {
      try {
        fn(part, parts);
      } catch (...) {
        errors[part] = std::current_exception();
      }
    }
  };
  {
    std::vector<std::jthread> helpers =
        start_threads(parts - 1, [&](unsigned) { take_parts(); });
    take_parts();
  }
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}

}  // namespace pdsplit
