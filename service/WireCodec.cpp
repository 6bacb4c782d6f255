#include "WireCodec.h"

#include <zlib.h>

namespace zel::svc {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string BytesToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

std::optional<std::string> HexToBytes(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigitValue(hex[i]);
    const int lo = HexDigitValue(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

std::optional<std::string> HexDecodeText(std::string_view hex) {
  auto bytes = HexToBytes(hex);
  if (!bytes) return std::nullopt;
  if (auto zero = bytes->find('\0'); zero != std::string::npos) bytes->resize(zero);
  return bytes;
}

InflateResult InflateZlib(std::string_view stream, std::size_t maxOutput, InflateFormat format) {
  InflateResult result;
  z_stream z{};
  // 15: the largest window; +32 detects a zlib or a gzip header.
  if (inflateInit2(&z, format == InflateFormat::kZlib ? 15 : 15 + 32) != Z_OK) return result;

  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  char chunk[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = sizeof chunk - z.avail_out;
    if (result.bytes.size() + produced > maxOutput) {
      inflateEnd(&z);
      result.status = InflateStatus::kTooLarge;
      result.bytes.clear();
      return result;
    }
    result.bytes.append(chunk, produced);
    // Z_BUF_ERROR with input left means no progress is possible: a truncated stream.
    if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && produced == 0)) break;
  }
  const bool complete = rc == Z_STREAM_END;
  const bool trailing = complete && z.avail_in != 0;
  inflateEnd(&z);

  if (!complete) {
    result.bytes.clear();
    result.status = InflateStatus::kCorrupt;
  } else if (trailing) {
    result.bytes.clear();
    result.status = InflateStatus::kTrailingBytes;
  } else {
    result.status = InflateStatus::kOk;
  }
  return result;
}

}  // namespace zel::svc
