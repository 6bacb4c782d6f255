#include "system/PathLib.h"

#include "system/Text.h"

namespace zel {

PathParts ClsPathLib::SplitPath(std::string_view path) const {
  PathParts parts;
  const std::size_t last = path.rfind('\\');
  if (last == std::string_view::npos) {
    parts.name = path;
    return parts;
  }
  // Every piece before the last two keeps its backslash, the second-to-last does not:
  // that is the text up to the last backslash, without it.
  parts.folder = path.substr(0, last);
  parts.name = path.substr(last + 1);
  return parts;
}

std::string ClsPathLib::JoinPath(std::string_view path, std::string_view appendPath) const {
  std::string joined(path);
  if (!joined.ends_with('\\')) joined += '\\';
  joined += appendPath;
  return joined;
}

bool HasBytesOutsidePrintableAscii(std::string_view path,
                                   const std::function<std::string(std::string_view)>& decodeAnsi) {
  const auto utf16leBytes = [](std::string_view utf8) {
    std::string bytes;
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
  };
  for (const char byte : utf16leBytes(decodeAnsi(utf16leBytes(path)))) {
    const auto b = static_cast<unsigned char>(byte);
    if (b != 0 && (b < 32 || b > 126)) return true;
  }
  return false;
}

}  // namespace zel
