#include "driver/run.h"

#include <unistd.h>

#include <cstdint>
#include <new>


#include "base/failure.h"
#include "base/messages.h"
#include "driver/mode_frame.h"
#include "input/doscar_files.h"
#include "input/header.h"
#include "output/names.h"

namespace pdsplit {

namespace {

// Big files take long enough that a user wants to see them move; the status
// line is for a person at a terminal, never for pipes, files or CI logs.
// A compressed file tells its size only once read: no status line.
bool wants_status_line(std::FILE* err, Opener& files) {
  constexpr std::uint64_t kBigFile = std::uint64_t{64} << 20;
  if (!::isatty(::fileno(err)) || files.name_of(kDoscarPath) != kDoscarPath) return false;
  Opened doscar = files.open(kDoscarPath);
  return doscar.source != nullptr && doscar.source->size().value_or(0) > kBigFile;
}

void print_banner(Console& console) {
  console.empty();
  console.line(text::kTitle);
  console.line(text::kPlatform);
  console.line(text::kModified);
  console.empty();
  for (std::string_view credit : text::kCredits) console.line(credit);
  console.empty();
}

void print_help(Console& console) {
  for (std::string_view line : text::kHelp) console.line(line);
  console.empty();
}

void print_error_block(std::string_view message, Console& console) {
  console.line(text::kErrorHead);
  console.line(text::kNothingDone);
  console.line(message);
  console.line(text::kSeeHelp);
  console.empty();
}

void dispatch(std::span<const std::string> args, Console& console,
              Opener& files, Output& output) {
  if (args.empty()) throw error_block(std::string(text::kNoArgument));
  if (trim_trailing_blanks(fixed_text(args[0], 5)) == "-h") {
    if (args.size() != 1) throw error_block(std::string(text::kTooMany));
    print_help(console);
    return;
  }
  Mode mode;
  if (!mode_of_option(args[0], mode))
    throw error_block(std::string(text::kWrongArgument));
  run_mode(mode, args, console, files, output);
  console.line(text::kDone);
  console.empty();
}

}  // namespace

int run(std::span<const std::string> args, std::FILE* out, std::FILE* err,
        Disk& disk, Opener& disk_files, unsigned threads) {
  DoscarFiles files(disk_files);
  Console console(out, wants_status_line(err, files) ? err : nullptr);
  Output output(disk, threads);
  print_banner(console);
  try {
    dispatch(args, console, files, output);
  } catch (const Failure& failure) {
    console.end_phase();
    switch (failure.report()) {
      case Failure::Report::ErrorBlock:
        print_error_block(failure.text(), console);
        break;
      case Failure::Report::ConsoleLine:
        console.line(failure.text());
        break;
      case Failure::Report::StderrLine:
        // Standard output first, so that a shared terminal shows the lines
        // in the order they happened.
        console.flush();
        std::fputs(failure.text(), err);
        std::fputc('\n', err);
        break;
      case Failure::Report::Nothing:
        break;
    }
    console.flush();
    return failure.status();
  } catch (const std::bad_alloc&) {
    console.flush();
    std::fputs("Error! Out of memory\n", err);
    return kExitFailure;
  }
  console.flush();
  return 0;
}

}  // namespace pdsplit
