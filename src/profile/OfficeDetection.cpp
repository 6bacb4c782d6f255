#include "profile/OfficeDetection.h"

#include <algorithm>
#include <array>

#include "profile/FileVersion.h"
#include "system/Platform.h"
#include "system/Text.h"

namespace zel {
namespace {

std::string RemoveAll(std::string text, std::string_view what) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.erase(at, what.size());
  return text;
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const auto end = path.find('\\', start);
    parts.emplace_back(path.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string BeforeFirstDot(const std::string& text) { return text.substr(0, text.find('.')); }

}  // namespace

ShellCommand SplitShellCommand(std::string_view command) {
  std::string text = TrimSpaces(command);
  char separator = ' ';
  if (!text.empty() && text.front() == '"') {
    separator = '"';
    text.erase(0, 1);
  }
  ShellCommand result;
  const auto cut = text.find(separator);
  result.hasSeparator = cut != std::string::npos;
  result.program = AsciiLower(std::string_view(text).substr(0, cut));
  return result;
}

std::string ProgramName(std::string_view program) {
  const auto slash = program.rfind('\\');
  return RemoveAll(std::string(slash == std::string_view::npos ? program : program.substr(slash + 1)),
                   ".exe");
}

std::pair<std::string, std::string> GuessAppFromPath(const std::string& path) {
  std::pair<std::string, std::string> guess{path, kNoVersion};
  auto& [name, version] = guess;
  if (path.find("\\winword.exe") != std::string::npos) {
    // ...\office16\winword.exe: the folder names the version.
    const auto parts = SplitPath(path);
    if (parts.size() >= 3) {
      name = RemoveAll(parts.back(), ".exe");
      version = RemoveAll(parts[parts.size() - 2], "office");
    }
  } else if (path.find("\\wps.exe") != std::string::npos) {
    // ...\11.1.0.10000\office6\wps.exe: the first folder with a dot names the version.
    for (const auto& part : SplitPath(path)) {
      if (part.find('.') == std::string::npos) continue;
      name = "wps";
      version = BeforeFirstDot(part);
      break;
    }
  }
  return guess;
}

std::pair<std::string, std::string> AppFromFileVersion(const std::string& path,
                                                       const std::string& fileVersion) {
  if (fileVersion == kNoVersion) return GuessAppFromPath(path);
  return {path.find('\\') == std::string::npos ? path : ProgramName(path), BeforeFirstDot(fileVersion)};
}

bool DetectOfficeByAutomation(const std::string& progId, const std::string& appName, DocAppInfo& info) {
  const auto server = CurrentPlatform().AskAutomationServer(progId);
  if (!server) return false;
  const auto dot = server->version.find('.');
  if (dot == std::string::npos) return false;
  info.Version = server->version.substr(0, dot);
  info.ExePath = server->path + "\\" + appName + ".exe";
  info.AppName = appName;
  info.Folder = server->path;
  return true;
}

bool CompleteDocApp(DocAppInfo& info) {
  if (info.Version == kNoVersion) {
    DocAppInfo answer;
    if (DetectOfficeByAutomation("Excel.Application", "winword", answer) ||
        DetectOfficeByAutomation("ket.Application", "wps", answer))
      info = answer;
  }
  const auto slash = info.ExePath.rfind('\\');
  info.Folder = slash == std::string::npos ? std::string() : info.ExePath.substr(0, slash + 1);
  return info.Version != kNoVersion;
}

bool IsExcludedAddin(std::string_view name, bool isKeyName) {
  static constexpr std::array<std::string_view, 3> kKeyNames = {"webpage.connect", "wordeefonts.connect",
                                                                "wordjpostcardwizard.connect"};
  static constexpr std::array<std::string_view, 2> kDescriptions = {"microsoft power pivot for excel",
                                                                    "microsoft power view for excel"};
  const std::string lower = AsciiLower(name);
  const auto listed = [&lower](const auto& list) { return std::ranges::find(list, lower) != list.end(); };
  return isKeyName ? listed(kKeyNames) : listed(kDescriptions);
}

std::string AddinEntry(const std::string& keyName, const std::string& description) {
  if (!description.empty()) return IsExcludedAddin(description, false) ? std::string() : description;
  return IsExcludedAddin(keyName, true) ? std::string() : keyName;
}

std::string AddinListText(const std::vector<AddinMember>& members) {
  std::string text = "{";
  for (const auto& [app, entries] : members) {
    if (text.size() > 1) text += ',';
    text += '"' + app + "\":[";
    for (std::size_t i = 0; i < entries.size(); ++i) text += (i ? ",\"" : "\"") + entries[i] + '"';
    text += ']';
  }
  return text + '}';
}

}  // namespace zel
