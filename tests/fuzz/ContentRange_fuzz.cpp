// A "Content-Range" header as a server sends it: any bytes. A value comes back only
// for the exact form, so printing it again gives the input back; the rest-of-file
// test agrees with the parsed numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/ContentRange.h"

// The same text with the leading zeros of every number dropped.
static std::string WithoutLeadingZeros(const std::string& text) {
  std::string out;
  bool significant = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    const bool digitFollows = i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
    if (digit && text[i] == '0' && !significant && digitFollows) continue;
    significant = digit;
    out += text[i];
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto range = zel::ParseContentRange(input);
  if (!range) return 0;
  if (range->first > range->last || range->last >= range->total) std::abort();
  const std::string printed = "bytes " + std::to_string(range->first) + "-" + std::to_string(range->last) + "/" +
                              std::to_string(range->total);
  // Leading zeros are the one other spelling of the same numbers.
  if (printed != WithoutLeadingZeros(input)) std::abort();
  if (zel::IsRestOfFile(input, range->first, range->total) != (range->last + 1 == range->total)) std::abort();
  return 0;
}
