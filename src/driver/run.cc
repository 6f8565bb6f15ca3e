#include "driver/run.h"

#include <unistd.h>

#include <cstdint>
#include <new>


#include "base/failure.h"
#include "base/messages.h"
#include "driver/command_line.h"
#include "driver/mode_frame.h"
#include "doscar/doscar_files.h"
#include "doscar/header.h"
#include "output/names.h"

namespace pdsplit {

namespace {

// Big files take long enough that a user wants to see them move; the status
// line is for a person at a terminal, never for pipes, files or CI logs.
// A compressed file tells its size only once read: no status line.
bool wants_status_line(std::FILE* err, DoscarFiles& files) {
  constexpr std::uint64_t kBigFile = std::uint64_t{64} << 20;
  if (!::isatty(::fileno(err))) return false;
  // DOSCAR's compressed names are known to be compressed without a look.
  if (!files.given() && files.name_of(kDoscarPath) != kDoscarPath) return false;
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

// --help: the whole usage, lines as they stand.
void print_usage(std::FILE* out) {
  for (std::string_view line : text::kUsage) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
  }
}

void print_error_block(std::string_view message, Console& console) {
  console.line(text::kErrorHead);
  console.line(text::kNothingDone);
  console.line(message);
  console.line(text::kSeeHelp);
  console.empty();
}

// `args`: the mode option and what follows it.
void dispatch(const std::vector<std::string>& args, const Settings& settings, Console& console,
              DoscarFiles& files, Output& output, const ReadPlan& plan) {
  if (args.empty()) throw error_block(std::string(text::kNoArgument));
  if (trim_trailing_blanks(fixed_text(args[0], 5)) == "-h") {
    if (args.size() != 1) throw error_block(std::string(text::kTooMany));
    // Asked for, the help screen is no chatter: --quiet keeps it.
    console.set_quiet(false);
    print_help(console);
    return;
  }
  Mode mode;
  if (!mode_of_option(args[0], mode))
    throw error_block(std::string(text::kWrongArgument));
  run_mode(mode, args, settings, console, files, output, plan);
  console.line(text::kDone);
  console.empty();
}

}  // namespace

int run(std::span<const std::string> args, std::FILE* out, std::FILE* err,
        Disk& disk, Opener& disk_files, unsigned threads, const ReadPlan& plan) {
  CommandLine command = parse_command_line(args);
  switch (command.request) {
    case CommandLine::Request::Help:
      print_usage(out);
      return 0;
    case CommandLine::Request::Version:
      std::fputs("pdsplit " PDSPLIT_VERSION "\n", out);
      return 0;
    case CommandLine::Request::Run:
      break;
  }
  const Settings& settings = command.settings;
  DoscarFiles files(disk_files, settings.doscar);
  // A table written to standard output ("-") has it to itself: the
  // console lines go to standard error, as they are.
  bool table_out = table_to_standard_output(command.rest);
  std::FILE* console_out = table_out ? err : out;
  // --quiet: no console line, no status line, unless a failure is reported.
  Console console(console_out, !settings.quiet && wants_status_line(err, files) ? err : nullptr);
  console.set_quiet(settings.quiet);
  Output output(disk, threads);
  if (table_out) output.standard_output(out);
  print_banner(console);
  try {
    if (command.failure) throw *command.failure;
    dispatch(command.rest, settings, console, files, output, plan);
  } catch (const Failure& failure) {
    console.end_phase();
    // Every report of a failure is printed as without --quiet.
    bool quiet = console.quiet();
    console.set_quiet(false);
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
        // Told by the last console line, which a quiet console dropped.
        if (quiet) console.line(failure.text());
        break;
    }
    console.flush();
    if (!failure.detail().empty()) {
      std::fputs(failure.detail().c_str(), err);
      std::fputc('\n', err);
    }
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
