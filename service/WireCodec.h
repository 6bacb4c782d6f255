// Byte-level codecs of the update protocol: hex armour and the zlib stream of a
// compressed query.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zel::svc {

// Two upper-case hex digits per byte, no separators.
std::string BytesToHex(std::string_view bytes);

// The bytes of a hex text; either letter case is accepted. No value for an odd
// length or a character that is no hex digit. The empty text gives no bytes.
std::optional<std::string> HexToBytes(std::string_view hex);

// The hex text of a text's UTF-8 bytes, as query values and answer URLs travel.
inline std::string HexEncodeText(std::string_view text) { return BytesToHex(text); }

// A hex value of the query turned back into text: decoding stops at the first zero
// byte, as the program's own decoder does. No value when the text is not hex.
std::optional<std::string> HexDecodeText(std::string_view hex);

enum class InflateStatus { kOk, kCorrupt, kTrailingBytes, kTooLarge };

struct InflateResult {
  InflateStatus status = InflateStatus::kCorrupt;
  std::string bytes;  // the uncompressed bytes when status is kOk
};

enum class InflateFormat { kZlib, kZlibOrGzip };

// Uncompresses exactly one complete zlib stream (header, deflate data, Adler-32;
// or a gzip member where allowed) that must fill the whole input. More than
// maxOutput bytes of output is refused, so a small body cannot expand into an
// unbounded buffer.
InflateResult InflateZlib(std::string_view stream, std::size_t maxOutput,
                          InflateFormat format = InflateFormat::kZlib);

}  // namespace zel::svc
