// How the program's process starts turn a program path and its arguments into one
// command line. Portable: the starters in Process_win only add the system calls.
#pragma once
#include <string>
#include <string_view>

namespace zel {

// Direct start: the program in double quotes (unless it already begins with one),
// one space, the arguments. With empty arguments the line ends in that space.
std::string StartCommandLine(std::string_view program, std::string_view arguments);

// Shell start. Without arguments the program path stays as it is, but is quoted when
// it does not begin with a double quote and holds a space after its first character;
// with arguments it is built like a direct start. A non-empty shellProgram (the
// shell's explorer.exe) and one space go in front, so that the shell opens the program.
std::string LaunchCommandLine(std::string_view program, std::string_view arguments,
                              std::string_view shellProgram);

// The external application manifest that may lie beside a program.
std::string ManifestPathOf(std::string_view program);

}  // namespace zel
