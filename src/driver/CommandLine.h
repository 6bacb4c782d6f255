// The program's command line: switches are plain substring tests on the lower-cased
// arguments (so "/UI" works, "/ui" is found inside a longer word, and a switch whose
// literal ends in a blank is missed at the very end of the line).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zel {

inline constexpr std::string_view kSwitchUpgrading = "/upgrading ";
inline constexpr std::string_view kSwitchInstallPath = "/installpath ";
inline constexpr std::string_view kSwitchUi = "/ui";
inline constexpr std::string_view kSwitchManual = "/manual";

// The text after the program name of a full command line, as the system hands the
// arguments to a program (the program token, then the blanks after it, removed).
std::string ArgumentsOf(std::string_view fullCommandLine);

bool HasSwitch(std::string_view lowerArguments, std::string_view literal);

// The folder in double quotes right after the first "/installpath "; nothing when the
// switch or a quote is missing. Not trimmed, stays lower case.
std::optional<std::string> InstallPathOf(std::string_view lowerArguments);

}  // namespace zel
