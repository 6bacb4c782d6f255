// Hex text as it arrives in an answer (the two URLs): any bytes. Decoding gives the
// empty text for anything that is not hex text, valid UTF-8 otherwise, and encoding
// the result gives the same bytes back up to the first zero byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/TextCodecs.h"
#include "system/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string decoded = zel::HexDecodeText(input);
  if (!zel::IsHexText(input) && !decoded.empty()) std::abort();
  if (decoded.find('\0') != std::string::npos) std::abort();
  if (zel::Utf16ToUtf8(zel::Utf8ToUtf16(decoded)) != decoded) std::abort();  // valid UTF-8

  // Hex of valid UTF-8 without zero bytes decodes to exactly that text.
  if (zel::IsHexText(input)) {
    const zel::Bytes bytes = zel::HexToBytes(input);
    if (bytes.size() * 2 != input.size()) std::abort();
    const std::string raw(bytes.begin(), bytes.end());
    if (raw.find('\0') == std::string::npos && zel::Utf16ToUtf8(zel::Utf8ToUtf16(raw)) == raw &&
        decoded != raw)
      std::abort();
    if (zel::HexEncodeText(decoded) != zel::BytesToHex(zel::TextToUtf8(decoded))) std::abort();
  }

  // Any text survives the round trip as the system's codec sees it.
  const std::string text = input.substr(0, input.find('\0'));
  if (zel::HexDecodeText(zel::HexEncodeText(text)) != zel::Utf16ToUtf8(zel::Utf8ToUtf16(text))) std::abort();
  return 0;
}
