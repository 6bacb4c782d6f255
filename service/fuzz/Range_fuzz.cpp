// A Range header and a file size: whatever the header, the answer stays within
// the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ByteRange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zel::svc;
  if (size < 4) return 0;
  std::uint32_t raw;
  std::memcpy(&raw, data, sizeof raw);
  const std::int64_t fileSize = raw;
  const std::string_view header(reinterpret_cast<const char*>(data) + 4, size - 4);
  const RangeChoice r = ChooseRange(header, fileSize);
  switch (r.kind) {
    case RangeChoice::kWhole:
      if (r.first != 0 || r.length != fileSize) std::abort();
      break;
    case RangeChoice::kPartial:
      if (r.first < 0 || r.length < 1 || r.first + r.length > fileSize) std::abort();
      break;
    case RangeChoice::kUnsatisfiable:
      if (r.length != 0) std::abort();
      break;
  }
  ContentRangeValue(r, fileSize);
  return 0;
}
