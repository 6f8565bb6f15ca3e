#include "input/line_blocks.h"

#include <algorithm>
#include <barrier>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

namespace pdsplit {

namespace {

// Below this a block is not worth a second thread.
constexpr std::size_t kMinPiece = 256 << 10;

std::int64_t count_lines(std::string_view text) {
  std::int64_t n = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
    ++n;
    p = static_cast<const char*>(lf) + 1;
  }
  return n + (p != end);  // a last line without its line feed
}

// Hands the lines of `piece`, numbered from `first`, to `handle`, up to
// line `last`.
void handle_lines(std::string_view piece, std::int64_t first, std::int64_t last,
                  const LineHandler& handle) {
  std::size_t pos = 0;
  for (std::int64_t number = first; pos < piece.size() && number <= last; ++number) {
    std::size_t lf = piece.find('\n', pos);
    bool complete = lf != std::string_view::npos;
    std::size_t stop = complete ? lf : piece.size();
    std::size_t len = stop - pos;
    if (complete && len > 0 && piece[stop - 1] == '\r') --len;
    handle(number, piece.substr(pos, len), complete);
    pos = stop + 1;
  }
}

// Splits `block` into up to `count` pieces of whole lines.
std::vector<std::string_view> split_block(std::string_view block, unsigned count) {
  std::vector<std::string_view> pieces;
  std::size_t begin = 0;
  for (unsigned i = 1; i < count && begin < block.size(); ++i) {
    std::size_t cut = begin + (block.size() - begin) / (count - i + 1);
    std::size_t lf = block.find('\n', cut);
    if (lf == std::string_view::npos) break;
    pieces.push_back(block.substr(begin, lf + 1 - begin));
    begin = lf + 1;
  }
  if (begin < block.size()) pieces.push_back(block.substr(begin));
  return pieces;
}

}  // namespace

void for_each_line(DoscarReader& reader, std::int64_t last_line,
                   std::int64_t needed_lines, unsigned threads,
                   const LineHandler& handle,
                   const std::function<void(std::size_t)>& on_block) {
  std::int64_t next = reader.line_number() + 1;
  std::string_view block;
  while (next <= last_line) {
    if (!reader.next_block(block)) fail_doscar_ends(next - 1, needed_lines);
    unsigned count = static_cast<unsigned>(
        std::clamp<std::size_t>(block.size() / kMinPiece, 1, std::max(threads, 1u)));
    if (count == 1) {
      handle_lines(block, next, last_line, handle);
      next += count_lines(block);
      if (on_block) on_block(block.size());
      continue;
    }
    std::vector<std::string_view> pieces = split_block(block, count);
    std::vector<std::int64_t> lines(pieces.size(), 0);
    std::vector<std::exception_ptr> errors(pieces.size());
    std::barrier counted(static_cast<std::ptrdiff_t>(pieces.size()));
    auto work = [&](std::size_t i) {
      lines[i] = count_lines(pieces[i]);
      counted.arrive_and_wait();
      std::int64_t first = next;
      for (std::size_t j = 0; j < i; ++j) first += lines[j];
      try {
        handle_lines(pieces[i], first, last_line, handle);
      } catch (...) {
        errors[i] = std::current_exception();
      }
    };
    std::vector<std::jthread> helpers;
    for (std::size_t i = 1; i < pieces.size(); ++i) helpers.emplace_back(work, i);
    work(0);
    helpers.clear();  // joins
    for (const std::exception_ptr& e : errors)
      if (e) std::rethrow_exception(e);
    for (std::int64_t n : lines) next += n;
    if (on_block) on_block(block.size());
  }
}

}  // namespace pdsplit
