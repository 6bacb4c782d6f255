// Hex text as it arrives in an answer (the two URLs): any bytes. Decoding gives the
// empty text for anything that is not hex text and valid UTF-8 without zero bytes
// otherwise; hex of such text decodes to exactly that text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/TextCodecs.h"
#include "system/Text.h"

static bool IsCleanUtf8(const std::string& text) {
  return text.find('\0') == std::string::npos && zel::Utf16ToUtf8(zel::Utf8ToUtf16(text)) == text;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string decoded = zel::HexDecodeText(input);
  if (!IsCleanUtf8(decoded) || (!zel::IsHexText(input) && !decoded.empty())) std::abort();
  if (zel::IsHexText(input)) {
    const zel::Bytes bytes = zel::HexToBytes(input);
    const std::string raw(bytes.begin(), bytes.end());
    if (bytes.size() * 2 != input.size() || (IsCleanUtf8(raw) && decoded != raw)) std::abort();
  }
  const std::string text = input.substr(0, input.find('\0'));
  if (zel::HexDecodeText(zel::HexEncodeText(text)) != zel::Utf16ToUtf8(zel::Utf8ToUtf16(text))) std::abort();
  return 0;
}
