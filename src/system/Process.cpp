#include "system/Process.h"

namespace zel {
namespace {

bool BeginsWithQuote(std::string_view path) { return !path.empty() && path.front() == '"'; }

std::string Quoted(std::string_view path) {
  std::string quoted;
  quoted.reserve(path.size() + 2);
  quoted += '"';
  quoted += path;
  quoted += '"';
  return quoted;
}

std::string QuotedUnlessQuoted(std::string_view path) {
  return BeginsWithQuote(path) ? std::string(path) : Quoted(path);
}

}  // namespace

std::string StartCommandLine(std::string_view program, std::string_view arguments) {
  std::string line = QuotedUnlessQuoted(program);
  line += ' ';
  line += arguments;
  return line;
}

std::string LaunchCommandLine(std::string_view program, std::string_view arguments,
                              std::string_view shellProgram) {
  std::string command;
  if (arguments.empty()) {
    // A leading space is no reason to quote: only a space inside the path splits it.
    const std::size_t space = program.find(' ');
    const bool needsQuotes = !BeginsWithQuote(program) && space != std::string_view::npos && space >= 1;
    command = needsQuotes ? Quoted(program) : std::string(program);
  } else {
    command = StartCommandLine(program, arguments);
  }
  if (!shellProgram.empty()) {
    std::string viaShell(shellProgram);
    viaShell += ' ';
    command.insert(0, viaShell);
  }
  return command;
}

std::string ManifestPathOf(std::string_view program) { return std::string(program) + ".manifest"; }

}  // namespace zel
