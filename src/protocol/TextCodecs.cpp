#include "protocol/TextCodecs.h"

#include "system/Text.h"

namespace zel {
namespace {

// Text as the system's UTF-8 codec sees it: invalid sequences and unpaired
// surrogates come out as U+FFFD.
std::string Normalized(std::string_view utf8) { return Utf16ToUtf8(Utf8ToUtf16(utf8)); }

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Bytes TextToUtf8(std::string_view text) {
  const std::string utf8 = Normalized(UpToNul(text));
  return Bytes(utf8.begin(), utf8.end());
}

std::string Utf8ToText(const Bytes& bytes) {
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return Normalized(UpToNul(raw));
}

std::string BytesToHex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

std::string HexEncodeText(std::string_view text) { return BytesToHex(TextToUtf8(text)); }

bool IsHexText(std::string_view text) {
  if (text.empty() || text.size() % 2 != 0) return false;
  for (const char c : text)
    if (HexDigitValue(c) < 0) return false;
  return true;
}

Bytes HexToBytes(std::string_view hex) {
  Bytes bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = HexDigitValue(hex[i]);
    const int low = HexDigitValue(hex[i + 1]);
    // Callers check IsHexText first; a stray character reads as 0 rather than wrapping.
    bytes.push_back(static_cast<std::uint8_t>((high < 0 ? 0 : high) << 4 | (low < 0 ? 0 : low)));
  }
  return bytes;
}

std::string HexDecodeText(std::string_view hex) {
  if (!IsHexText(hex)) return {};
  return Utf8ToText(HexToBytes(hex));
}

}  // namespace zel
