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
  std::uint32_t fileSize = 0;
  std::memcpy(&fileSize, data, sizeof fileSize);
  const std::string_view header(reinterpret_cast<const char*>(data) + 4, size - 4);
  const RangeChoice r = ChooseRange(header, fileSize);
  const bool withinFile = r.kind == RangeChoice::kWhole ? r.first == 0 && r.length == fileSize
                          : r.kind == RangeChoice::kPartial
                              ? r.first >= 0 && r.length >= 1 && r.first + r.length <= fileSize
                              : r.length == 0;
  if (!withinFile) std::abort();
  ContentRangeValue(r, fileSize);
  return 0;
}
