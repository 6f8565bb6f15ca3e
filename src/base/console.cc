#include "base/console.h"

namespace pdsplit {

namespace {
// At most ten redraws a second: enough to see it move, too few to cost.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
}  // namespace

void Console::line(std::string_view text) {
  if (quiet_) return;
  end_phase();
  std::fputc(' ', out_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::raw(std::string_view text) {
  if (quiet_) return;
  end_phase();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
}

void Console::empty() {
  if (quiet_) return;
  end_phase();
  std::fputc('\n', out_);
}

void Console::flush() { std::fflush(out_); }

void Console::begin_phase(std::string_view what, std::uint64_t total) {
  if (status_ == nullptr) return;
  std::fflush(out_);  // the console lines so far stand above the status line
  what_ = what;
  total_ = total;
  done_ = 0;
  started_ = Clock::now();
  draw();
}

void Console::advance(std::uint64_t bytes) {
  if (status_ == nullptr || !shown_) return;
  done_ += bytes;
  if (Clock::now() - drawn_ >= kRedrawInterval) draw();
}

void Console::end_phase() {
  if (!shown_) return;
  std::fputs("\r\033[K", status_);
  std::fflush(status_);
  shown_ = false;
}

void Console::draw() {
  drawn_ = Clock::now();
  double seconds = std::chrono::duration<double>(drawn_ - started_).count();
  double percent = total_ > 0 ? 100.0 * static_cast<double>(done_) / static_cast<double>(total_) : 100.0;
  double rate = seconds > 0 ? static_cast<double>(done_) / 1e6 / seconds : 0.0;
  std::fprintf(status_, "\r %.*s %3.0f%%  %6.0f MB/s\033[K", static_cast<int>(what_.size()),
               what_.data(), percent > 100 ? 100.0 : percent, rate);
  std::fflush(status_);
  shown_ = true;
}

}  // namespace pdsplit
