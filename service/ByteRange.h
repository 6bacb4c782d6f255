// Which bytes of a package a GET asks for, from its "Range" header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zel::svc {

struct RangeChoice {
  enum Kind { kWhole, kPartial, kUnsatisfiable } kind = kWhole;
  std::int64_t first = 0;   // first byte sent
  std::int64_t length = 0;  // bytes sent
};

// One range of the forms bytes=F-L, bytes=F- and bytes=-N (the unit in any letter
// case, blanks around the list's elements allowed, as RFC 7233 has it); a last byte beyond the
// end is cut to the end, and so is a number too large for 64 bits. A range starting
// at or past the end (or any range of an empty file, or bytes=-0) cannot be satisfied.
// No header, a malformed one, another unit or a list of several ranges gives the whole
// file, which a server may always send instead.
RangeChoice ChooseRange(std::string_view header, std::int64_t fileSize);

// "bytes F-L/T" for a partial answer, "bytes */T" for an unsatisfiable one.
std::string ContentRangeValue(const RangeChoice& choice, std::int64_t fileSize);

}  // namespace zel::svc
