// The one exception type that ends a run early.
//
// Code that finds a fault throws a Failure; only the driver catches it,
// prints its report and chooses the exit status. Everything printed before
// the throw stays on the console, so the user sees the same lines in the
// same order as if the run had stopped on the spot.
#pragma once

#include <stdexcept>
#include <string>

namespace pdsplit {

// Exit statuses: a command-line error, any other failure.
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

class Failure : public std::runtime_error {
 public:
  enum class Report {
    ErrorBlock,   // the five-line error block on standard output
    ConsoleLine,  // one console line on standard output
    StderrLine,   // one line on standard error
    Nothing,      // the report has been printed already
  };

  Failure(Report report, int status, std::string text, std::string detail = {})
      : std::runtime_error(std::move(text)), report_(report), status_(status),
        detail_(std::move(detail)) {}

  Report report() const { return report_; }
  int status() const { return status_; }
  const char* text() const { return what(); }
  // One more line on standard error after the report, naming what the
  // report cannot (the operand at fault, the option that helps); or empty.
  const std::string& detail() const { return detail_; }

 private:
  Report report_;
  int status_;
  std::string detail_;
};

// A command-line error: the error block with `message`, exit status 2.
inline Failure error_block(std::string message) {
  return Failure(Failure::Report::ErrorBlock, kExitUsage, std::move(message));
}

// The error block with `message`, and `detail` on standard error.
inline Failure error_block(std::string message, std::string detail) {
  return Failure(Failure::Report::ErrorBlock, kExitUsage, std::move(message), std::move(detail));
}

// Any other failure: one line on standard error, exit status 1.
inline Failure stop_with_message(std::string message) {
  return Failure(Failure::Report::StderrLine, kExitFailure, std::move(message));
}

}  // namespace pdsplit
