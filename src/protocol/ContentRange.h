// The "Content-Range" header of a 206 answer, read strictly: "bytes F-L/T" with
// decimal numbers, F <= L < T, nothing before, between or after. A download only ever
// trusts bytes whose place in the file this header states exactly.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace zel {

struct ContentRange {
  std::uint64_t first = 0;  // first byte of the body
  std::uint64_t last = 0;   // last byte of the body
  std::uint64_t total = 0;  // length of the whole file
  bool operator==(const ContentRange&) const = default;
};

// No value for anything that is not exactly "bytes F-L/T" (an unsatisfied "bytes */T",
// blanks, signs, a missing part, numbers beyond 64 bits, F > L, L >= T).
std::optional<ContentRange> ParseContentRange(std::string_view value);

// True when the header announces exactly the rest of a file of `total` bytes from
// byte `from` on (from < total).
bool IsRestOfFile(std::string_view value, std::uint64_t from, std::uint64_t total);

}  // namespace zel
