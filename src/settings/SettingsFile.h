// config.dat: an INI file in the per-user product folder, read and written only
// through the system's profile functions (ANSI code page at the edge). One handle is
// opened at start-up and passed down; it carries the path and the file's rules, and
// every read goes to the file again, so what another process wrote is seen.
#pragma once
#include <optional>
#include <string>

namespace zel {

class SettingsFile {
 public:
  // %AppData%\zelGuard\config.dat, creating the folder when missing; no handle when
  // the folder is missing and cannot be created (also when it is hidden or system).
  static std::optional<SettingsFile> Open();
  // A settings file at a given full path (tests, tools).
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  // The value, cut at 1023 bytes; the default for a missing or empty value, and for
  // every key of a hidden or system file.
  std::string Read(const std::string& section, const std::string& key, const std::string& defaultValue) const;
  // Creates the file, section and key as needed. A write that fails is lost.
  void Write(const std::string& section, const std::string& key, const std::string& value) const;

 private:
  std::string path_;
};

}  // namespace zel
