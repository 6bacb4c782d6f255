// The update request body and the zlib compression it uses.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/TextCodecs.h"

namespace zel {

// The form body of an update query: size=N&checksum=0&zip=Z&data=D. A query of 80 or
// more characters (UTF-16 units) travels as hex of its zlib stream, a shorter one (or
// one that cannot be compressed) as hex of its UTF-8 bytes. Empty on internal failure.
std::string EncodeRequestBody(std::string_view query);

// Upper-case hex of the level-6 zlib stream of the text's UTF-8 bytes; empty on failure
// (including when no zlib is available).
std::string CompressText(std::string_view text);

// Compresses source into a fresh zero-filled destination of round(n * 1.01 + 12) bytes
// with compress2 and returns the number of compressed bytes (0 without zlib; the platform provides compress2).
std::int32_t ZlibCompress(Bytes& destination, const Bytes& source, std::int32_t level);

}  // namespace zel
