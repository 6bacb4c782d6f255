#include "protocol/Utf8TextFile_win.h"

#include "protocol/TextCodecs.h"
#include "system/Guarded.h"
#include "system/Text.h"
#include "system/Text_win.h"

namespace zel {

bool clsUTF8TextFile::WriteMsgToUTF8File(const std::string& fileName, bool appendMod, const std::string& text,
                                         bool newLine) {
  const bool written = Guarded("text file write", false, [&] {
    const std::string ansiName = ToAnsi(fileName);
    if (!appendMod && GetFileAttributesA(ansiName.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !DeleteFileA(ansiName.c_str()))
      return false;  // the old content would stay in front of the new one
    return OpenWriter(fileName) && WriteText(text, newLine);
  });
  CloseWriter();
  return written;
}

std::int32_t clsUTF8TextFile::ReadFromUTF8File(const std::string& fileName, std::string& outText) {
  outText.clear();
  const std::int32_t length = Guarded<std::int32_t>(
      "text file read", 0, [&] { return OpenReader(fileName) ? ReadAllText(outText) : 0; });
  CloseReader();
  return length;
}

bool clsUTF8TextFile::OpenReader(const std::string& name) {
  // A file that cannot be opened leaves the slot empty, and reading it gives nothing.
  reader_.Reset(CreateFileA(ToAnsi(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return true;
}

std::int32_t clsUTF8TextFile::ReadAllText(std::string& text) {
  text.clear();
  LARGE_INTEGER length{};
  if (!reader_ || !GetFileSizeEx(reader_.Get(), &length) || length.QuadPart <= 0 || length.QuadPart > MAXDWORD)
    return 0;
  Bytes bytes(static_cast<std::size_t>(length.QuadPart));
  DWORD read = 0;
  if (!ReadFile(reader_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return 0;
  bytes.resize(read);
  text = Utf8ToText(bytes);
  return static_cast<std::int32_t>(Utf16Length(text));
}

void clsUTF8TextFile::CloseReader() { reader_.Reset(); }

bool clsUTF8TextFile::OpenWriter(const std::string& name) {
  writer_.Reset(CreateFileA(ToAnsi(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!writer_) return false;
  LARGE_INTEGER end{};
  return SetFilePointerEx(writer_.Get(), end, nullptr, FILE_END) != FALSE;
}

bool clsUTF8TextFile::WriteText(const std::string& text, bool newLine) {
  const Bytes bytes = TextToUtf8(newLine ? text + "\r\n" : text);
  DWORD written = 0;
  if (bytes.empty()) return true;
  return WriteFile(writer_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void clsUTF8TextFile::CloseWriter() { writer_.Reset(); }

}  // namespace zel
