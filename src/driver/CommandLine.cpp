#include "driver/CommandLine.h"

namespace zel {

std::string ArgumentsOf(std::string_view line) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const auto close = line.find('"', 1);
    i = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return std::string(line.substr(i));
}

bool HasSwitch(std::string_view lowerArguments, std::string_view literal) {
  return lowerArguments.find(literal) != std::string_view::npos;
}

std::optional<std::string> InstallPathOf(std::string_view lowerArguments) {
  std::string marker(kSwitchInstallPath);
  marker += '"';
  const auto at = lowerArguments.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  const auto begin = at + marker.size();
  const auto close = lowerArguments.find('"', begin);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(lowerArguments.substr(begin, close - begin));
}

}  // namespace zel
