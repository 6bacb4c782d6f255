// ClsPathLib: the program's path and file operations. Paths are Windows paths with
// the backslash as the only separator (a forward slash is an ordinary character).
// Splitting and joining are pure text work and portable; the file operations (and
// PathHasUnicode, which reads text in the ANSI code page) are Windows only and make
// their calls in the ANSI code page. Every operation reports failure by its result.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zel {

struct PathParts {
  std::string folder;  // no trailing backslash; a root folder comes back as its drive ("C:")
  std::string name;
  bool operator==(const PathParts&) const = default;
};

class ClsPathLib {
 public:
  PathParts SplitPath(std::string_view path) const;
  // path + "\" + appendPath, without doubling a backslash that path already ends with.
  std::string JoinPath(std::string_view path, std::string_view appendPath) const;

  bool RenameFile(const std::string& srcPath, const std::string& desPath, bool overWrite = false) const;
  bool DeleteFolder(const std::string& folder, bool withInterface = false) const;
  bool IsFile(const std::string& path) const;
  bool IsDir(const std::string& path) const;
  bool DelFile(const std::string& path) const;
  bool MyCopyFile(const std::string& srcPath, const std::string& destPath, bool overWrite) const;
  // Low 32 bits of the size as a signed number; -1 when the file is missing or cannot
  // be opened, unless another program holds it without sharing: then its entry tells.
  std::int32_t MyGetFileSize(const std::string& path) const;
  bool PathHasUnicode(const std::string& path) const;
};

// The test behind PathHasUnicode, with the ANSI decoding given: the path's UTF-16LE
// bytes are read as ANSI text (decodeAnsi: ANSI bytes to UTF-8) and encoded as
// UTF-16LE again; true when a byte of the result is neither 0 nor printable ASCII.
bool HasBytesOutsidePrintableAscii(std::string_view path,
                                   const std::function<std::string(std::string_view)>& decodeAnsi);

}  // namespace zel
