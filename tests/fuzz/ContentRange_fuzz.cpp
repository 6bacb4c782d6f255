// A "Content-Range" header as a server sends it: any bytes. A value comes back only
// for the exact form, so printing it again gives the input back; the rest-of-file
// test agrees with the parsed numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "protocol/ContentRange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto range = zel::ParseContentRange(input);
  if (!range) return 0;
  if (range->first > range->last || range->last >= range->total) std::abort();
  const std::string printed = "bytes " + std::to_string(range->first) + "-" + std::to_string(range->last) + "/" +
                              std::to_string(range->total);
  // Leading zeros are the one other spelling of the same numbers.
  static const std::regex leadingZeros("\\b0+(?=\\d)");
  if (printed != std::regex_replace(input, leadingZeros, "")) std::abort();
  if (zel::IsRestOfFile(input, range->first, range->total) != (range->last + 1 == range->total)) std::abort();
  return 0;
}
