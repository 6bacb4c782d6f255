// Which program opens Word and Excel documents, its major version and folder, and
// the enabled Word, Excel and PowerPoint add-ins of the current user.
//
// The decisions are portable and take the registry, the file version reader and the
// automation servers as function objects; the Windows build wires in the real ones.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "profile/Registry.h"

namespace zel {

// The default document handler.
struct DocAppInfo {
  std::string
      AppName;  // program name, lower case without ".exe" (winword, wps); the whole path for a bare command
  std::string Version;  // major version ("16"); "0" for a bare command; "0.0.0" unknown; "" no handler
  std::string Folder;   // folder of ExePath with its trailing "\"; "" when ExePath holds no "\"
  std::string ExePath;  // full path of the program; "" when no handler was found
};

// A shell command split into its program and the rest: trimmed, then cut at the
// closing quote of a quoted program or at the first space. program is lower case.
struct ShellCommand {
  std::string program;
  bool hasSeparator = false;  // false: the whole command is the program
};
ShellCommand SplitShellCommand(std::string_view command);

// Last path component of program with every ".exe" removed.
std::string ProgramName(std::string_view program);

// Name and version guessed from the folders of a lower-case handler path
// (...\office16\winword.exe, ...\11.1.0.10000\office6\wps.exe); the version is
// "0.0.0" when nothing can be guessed, and the name then is the path itself.
std::pair<std::string, std::string> GuessAppFromPath(const std::string& path);

// True when the name is on the exclusion list of its kind (key names when isKeyName,
// descriptions otherwise), compared without regard to case.
bool IsExcludedAddin(std::string_view name, bool isKeyName);

struct DocAppSources {
  // Default value of an HKEY_CLASSES_ROOT key as text; no value when the read fails.
  std::function<std::optional<std::string>(const std::string& key)> classesRootDefault;
  std::function<std::string(const std::string& path)> fileVersion;
  // Asks one automation server (ProgID) for version and folder, naming the program appName.
  std::function<bool(const std::string& progId, const std::string& appName, DocAppInfo& info)> automation;
};
// The handler of the first of .docx, .xlsx, .doc, .xls with a usable association;
// the automation servers are asked only when a handler was found whose version is
// unknown. True unless the version stays "0.0.0".
bool ResolveDefaultDocApp(const DocAppSources& sources, DocAppInfo& info);

struct AddinSources {
  // HKEY_CURRENT_USER: sub-key names of a key, and one value (no value when the read fails).
  std::function<std::vector<std::string>(const std::string& keyPath)> subKeys;
  std::function<std::optional<RegValue>(const std::string& keyPath, const std::string& valueName)> readValue;
};
// The add-in list text, {"Word":["Some Add-in","Vendor.Connect"],"Excel":[]}: an
// application appears when its Addins key has sub-keys; "{}" when none does and when
// a LoadBehavior is not a number.
std::string BuildOfficeAddins(const AddinSources& sources);

// The same operations on this machine's registry, files and automation servers
// (Windows build only).
bool GetDefaultDocApp(DocAppInfo& info);
bool DetectOfficeByAutomation(const std::string& progId, const std::string& appName, DocAppInfo& info);
std::string GetOfficeAddins();
// GetOfficeAddins for "winword" and "moc", "{}" for every other handler.
std::string GetDocShellAddins(const std::string& appName);

}  // namespace zel
