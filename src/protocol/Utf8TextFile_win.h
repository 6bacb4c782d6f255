// clsUTF8TextFile: writes a text into a file as UTF-8 bytes (replacing the file, or
// appending to it) and reads a whole file back as text. Files are raw bytes: no
// byte-order mark is written or recognised, no line end is converted; the only line
// end written is CR LF. File names go to the system in the ANSI code page. Windows only.
#pragma once
#include <cstdint>
#include <string>

#include "system/UniqueHandle_win.h"

namespace zel {

class clsUTF8TextFile {
 public:
  // Writes text (followed by CR LF when newLine) at the end of the file, after
  // deleting the file first unless appendMod. False when the file could not be
  // replaced, opened or written.
  bool WriteMsgToUTF8File(const std::string& fileName, bool appendMod, const std::string& text,
                          bool newLine = false);
  // The whole file as text (decoding stops at the first zero byte); returns its
  // length in characters (UTF-16 code units), 0 with the empty text when nothing was read.
  std::int32_t ReadFromUTF8File(const std::string& fileName, std::string& outText);

 private:
  bool OpenReader(const std::string& name);
  std::int32_t ReadAllText(std::string& text);
  void CloseReader();
  bool OpenWriter(const std::string& name);
  bool WriteText(const std::string& text, bool newLine);
  void CloseWriter();

  UniqueFile writer_;
  UniqueFile reader_;
};

}  // namespace zel
