// Which program opens Word and Excel documents, its major version and folder, and
// the enabled Word, Excel and PowerPoint add-ins of the current user.
//
// The Windows build reads the associations and add-in keys from the registry and
// versions from the handler's file; the rules that turn what it read into the
// record and the add-in list are portable, and the automation servers are asked
// through the platform.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Name and major version of the handler at a lower-case path whose file reports
// fileVersion: the program name (the path itself when it holds no "\") and the
// part of the version before its first "."; for a file without a version
// ("0.0.0"), the guess from the folders.
std::pair<std::string, std::string> AppFromFileVersion(const std::string& path,
                                                       const std::string& fileVersion);

// Asks one automation server (ProgID) for its version and folder, naming the
// program appName; True when it answered with a version that has a ".". The record
// is filled only then.
bool DetectOfficeByAutomation(const std::string& progId, const std::string& appName, DocAppInfo& info);

// Completes the record of the handler that the associations named (AppName, Version
// and ExePath; all empty when none did). When its version is "0.0.0", the automation
// servers of Excel and then of WPS are asked, and the first answer replaces it. The
// folder then comes from ExePath. True unless the version stays "0.0.0".
bool CompleteDocApp(DocAppInfo& info);

// True when the name is on the exclusion list of its kind (key names when isKeyName,
// descriptions otherwise), compared without regard to case.
bool IsExcludedAddin(std::string_view name, bool isKeyName);
// What an enabled add-in is listed as: its description, or its key name when the
// description is empty; "" when that is excluded.
std::string AddinEntry(const std::string& keyName, const std::string& description);

// An application's add-ins: its name (Word, Excel, PowerPoint) and its entries.
using AddinMember = std::pair<std::string, std::vector<std::string>>;
// {"Word":["Some Add-in","Vendor.Connect"],"Excel":[]}: names inserted as they are,
// without escaping; "{}" without members.
std::string AddinListText(const std::vector<AddinMember>& members);

// The same operations on this machine's registry and files (Windows build only).
// GetDefaultDocApp: the handler of the first of .docx, .xlsx, .doc, .xls with a
// usable association, completed by CompleteDocApp.
bool GetDefaultDocApp(DocAppInfo& info);
// The add-in list of the current user: an application is listed when its Addins key
// has sub-keys; "{}" when none has and when a LoadBehavior is not a number.
std::string GetOfficeAddins();
// GetOfficeAddins for "winword" and "moc", "{}" for every other handler.
std::string GetDocShellAddins(const std::string& appName);

}  // namespace zel
