// Text is UTF-8 inside the program. These are the portable conversions and the
// one rule for counting characters: where the program counts characters it counts
// UTF-16 code units, as the system does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Raw bytes, as files and the network carry them.
using Bytes = std::vector<std::uint8_t>;

// Decodes UTF-8; every invalid or truncated sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Encodes UTF-16; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Number of UTF-16 code units of a UTF-8 text (invalid bytes count as U+FFFD).
std::size_t Utf16Length(std::string_view utf8);

// Lower-cases A-Z only; everything else stays as it is.
std::string AsciiLower(std::string_view text);
// Removes leading and trailing blanks (U+0020 only).
std::string TrimSpaces(std::string_view text);
// Removes every NUL character.
std::string StripNuls(std::string_view text);

}  // namespace zel
