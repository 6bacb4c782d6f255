#include "protocol/RequestBody.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "system/Guarded.h"
#include "system/Platform.h"
#include "system/Text.h"

namespace zel {
namespace {

// Room for the level-6 stream of any input: n * 1.01 + 12, rounded half to even.
unsigned long CompressCapacity(std::size_t sourceLength) {
  return static_cast<unsigned long>(std::nearbyint(static_cast<double>(sourceLength) * 1.01 + 12.0));
}

}  // namespace

std::int32_t ZlibCompress(Bytes& destination, const Bytes& source, std::int32_t level) {
  // Keeps the capacity inside a 32-bit length, which is all the library takes on Windows.
  if (source.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2)) return 0;
  unsigned long length = CompressCapacity(source.size());
  destination.assign(length, 0);
  const Compress2Fn compress2 = CurrentPlatform().Compress2();
  if (!compress2) return 0;
  // The return code is not needed: the capacity always suffices, and a library that
  // fails for want of memory leaves a length of 0.
  compress2(destination.data(), &length, source.data(), static_cast<unsigned long>(source.size()), level);
  return static_cast<std::int32_t>(std::min<unsigned long>(length, destination.size()));
}

std::string CompressText(std::string_view text) {
  return Guarded<std::string>("compression", {}, [&] {
    Bytes compressed;
    const std::int32_t length = ZlibCompress(compressed, TextToUtf8(text), 6);
    compressed.resize(static_cast<std::size_t>(std::max(length, 0)));
    return BytesToHex(compressed);
  });
}

std::string EncodeRequestBody(std::string_view query) {
  return Guarded<std::string>("request body", {}, [&] {
    std::string data;
    char zip = '0';
    if (Utf16Length(query) >= 80) {
      data = CompressText(query);
      if (!data.empty()) zip = '1';
    }
    if (data.empty()) data = HexEncodeText(query);
    return "size=" + std::to_string(data.size()) + "&checksum=0&zip=" + zip + "&data=" + data;
  });
}

}  // namespace zel
