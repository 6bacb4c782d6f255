#include "system/Text_win.h"

#include <windows.h>

#include "system/Text.h"

namespace zel {
namespace {

std::wstring ToWideFrom(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const DWORD saved = GetLastError();
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  SetLastError(saved);
  return out;
}

std::string FromWideTo(UINT codePage, std::wstring_view wide) {
  if (wide.empty()) return {};
  const DWORD saved = GetLastError();
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
  SetLastError(saved);
  return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  // Our own decoder: invalid bytes become U+FFFD on every system version.
  const std::u16string u16 = Utf8ToUtf16(utf8);
  return std::wstring(u16.begin(), u16.end());
}

std::string Narrow(std::wstring_view utf16) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

std::string ToAnsi(std::string_view utf8) { return FromWideTo(CP_ACP, Widen(utf8)); }

std::string FromAnsi(std::string_view ansi) { return Narrow(ToWideFrom(CP_ACP, ansi)); }

std::string LowerText(std::string_view utf8) {
  std::wstring wide = Widen(utf8);
  if (!wide.empty()) CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Narrow(wide);
}

}  // namespace zel
