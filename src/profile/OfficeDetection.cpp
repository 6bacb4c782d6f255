#include "profile/OfficeDetection.h"

#include <algorithm>
#include <array>
#include <exception>
#include <tuple>

#include "profile/FileVersion.h"
#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/Text.h"

namespace zel {
namespace {

// Grows the list by the item; with unique set, an item already present is not added
// again. Always reports True.
bool AppendToArray(std::vector<std::string>& list, const std::string& item, bool unique) {
  if (unique && std::find(list.begin(), list.end(), item) != list.end()) return true;
  list.push_back(item);
  return true;
}

constexpr const char* kEmptyAddinList = "{}";

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

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += separator;
    out += items[i];
  }
  return out;
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

bool IsExcludedAddin(std::string_view name, bool isKeyName) {
  static constexpr std::array<std::string_view, 3> kKeyNames = {"webpage.connect", "wordeefonts.connect",
                                                                "wordjpostcardwizard.connect"};
  static constexpr std::array<std::string_view, 2> kDescriptions = {"microsoft power pivot for excel",
                                                                    "microsoft power view for excel"};
  const std::string lower = AsciiLower(name);
  const auto listed = [&lower](const auto& list) { return std::ranges::find(list, lower) != list.end(); };
  return isKeyName ? listed(kKeyNames) : listed(kDescriptions);
}

bool ResolveDefaultDocApp(const DocAppSources& sources, DocAppInfo& info) {
  std::string name, path, version;
  for (const char* extension : {".docx", ".xlsx", ".doc", ".xls"}) {
    const auto progId = sources.classesRootDefault(extension);
    if (!progId || progId->empty() || AsciiLower(*progId) == "docfile") continue;
    const auto command = sources.classesRootDefault(*progId + "\\shell\\Open\\command");
    if (!command || command->empty()) continue;

    const ShellCommand split = SplitShellCommand(*command);
    path = name = split.program;
    if (!split.hasSeparator) {
      version = "0";  // a bare path: no version is looked for
      break;
    }
    version = sources.fileVersion(path);
    if (version != kNoVersion) {
      version = BeforeFirstDot(version);
      if (path.find('\\') != std::string::npos) name = ProgramName(path);
    } else {
      std::tie(name, version) = GuessAppFromPath(path);
    }
    break;
  }

  if (version == kNoVersion) {
    DocAppInfo answer;
    bool answered = sources.automation("Excel.Application", "winword", answer);
    if (!answered) {
      answer = DocAppInfo{};
      answered = sources.automation("ket.Application", "wps", answer);
    }
    if (answered) {
      version = answer.Version;
      name = answer.AppName;
      path = answer.ExePath;
    }
  }

  const auto slash = path.rfind('\\');
  info.AppName = name;
  info.Version = version;
  info.ExePath = path;
  info.Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return version != kNoVersion;
}

std::string BuildOfficeAddins(const AddinSources& sources) {
  // Any failure abandons the list.
  return Guarded<std::string>(kEmptyAddinList, [&]() -> std::string {
    std::vector<std::string> members;
    for (const std::string app : {"Word", "Excel", "PowerPoint"}) {
      const std::string addinsKey = "Software\\Microsoft\\Office\\" + app + "\\Addins";
      const std::vector<std::string> subKeys = sources.subKeys(addinsKey);
      if (subKeys.empty()) continue;

      std::vector<std::string> entries;
      for (const std::string& subKey : subKeys) {
        if (subKey.starts_with("OneNote.")) {
          CurrentPlatform().PumpMessages();
          continue;
        }
        const std::string key = addinsKey + "\\" + subKey;
        const auto loadBehavior = sources.readValue(key, "LoadBehavior");
        if (!loadBehavior) continue;
        const auto enabled = RegValueWholeNumber(*loadBehavior);
        if (!enabled) return kEmptyAddinList;  // a LoadBehavior that is no number spoils the whole list
        if (*enabled < 1) continue;

        const auto description = sources.readValue(key, "Description");
        const std::string described = description ? RegValueText(*description) : std::string();
        std::string entry;
        if (!described.empty()) {
          if (!IsExcludedAddin(described, false)) entry = described;
        } else if (!IsExcludedAddin(subKey, true)) {
          entry = subKey;
        }
        // Names go in as they are: no escaping, duplicates kept.
        if (!entry.empty()) AppendToArray(entries, '"' + entry + '"', false);
      }
      AppendToArray(members, '"' + app + "\":[" + Join(entries, ",") + "]", false);
    }
    return members.empty() ? kEmptyAddinList : "{" + Join(members, ",") + "}";
  });
}

}  // namespace zel
