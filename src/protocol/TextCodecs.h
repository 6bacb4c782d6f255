// The shared text codecs: UTF-8 bytes of a text and back, and hex armour.
// Every query and profile value travels as HexEncodeText; the URLs of an answer
// arrive as hex of UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "system/Text.h"

namespace zel {


Bytes TextToUtf8(std::string_view text);        // up to the first NUL; invalid sequences as U+FFFD
std::string Utf8ToText(const Bytes& bytes);     // up to the first zero byte; invalid as U+FFFD
std::string BytesToHex(const Bytes& bytes);     // upper-case digits, two per byte
std::string HexEncodeText(std::string_view text);
bool IsHexText(std::string_view text);          // non-empty, even length, only 0-9a-fA-F
Bytes HexToBytes(std::string_view hex);         // empty for empty text
std::string HexDecodeText(std::string_view hex);  // "" when not hex text

}  // namespace zel
