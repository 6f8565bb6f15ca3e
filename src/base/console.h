// The console: every line with text is one blank followed by the text; an
// empty line has no characters at all.
//
// On a terminal, a long phase of work may also show a status line on
// standard error (what is being done, how far, how fast), redrawn in place
// and erased before the next console line, so that the console lines are
// the same with or without it.
//
// A quiet console (--quiet) drops every line until it is made loud again,
// as the driver does to report a failure.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace pdsplit {

class Console {
 public:
  // `status` is where status lines go, or null for none.
  explicit Console(std::FILE* out, std::FILE* status = nullptr)
      : out_(out), status_(status) {}

  // A console line: one blank, then `text`.
  void line(std::string_view text);
  // A line written as it stands (fixed-layout lines bring their own blank).
  void raw(std::string_view text);
  void empty();
  void flush();

  // While quiet, line, raw and empty print nothing.
  void set_quiet(bool quiet) { quiet_ = quiet; }
  bool quiet() const { return quiet_; }

  // A phase of `total` bytes begins; `advance` reports bytes done (from one
  // thread at a time); `end_phase` erases the status line. Without a status
  // stream all three do nothing.
  void begin_phase(std::string_view what, std::uint64_t total);
  void advance(std::uint64_t bytes);
  void end_phase();

 private:
  using Clock = std::chrono::steady_clock;
  void draw();

  std::FILE* out_;
  std::FILE* status_;
  bool quiet_ = false;
  bool shown_ = false;
  std::string_view what_;
  std::uint64_t total_ = 0, done_ = 0;
  Clock::time_point started_, drawn_;
};

}  // namespace pdsplit
