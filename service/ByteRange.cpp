#include "ByteRange.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

namespace zel::svc {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A decimal number; one too large for 64 bits stands for the largest there is, which
// is past the end of any file.
std::optional<std::int64_t> ParseNumber(std::string_view s) {
  if (s.empty()) return std::nullopt;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

bool SameLetters(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != lower[i]) return false;
  }
  return true;
}

}  // namespace

RangeChoice ChooseRange(std::string_view header, std::int64_t fileSize) {
  const RangeChoice whole{RangeChoice::kWhole, 0, fileSize};
  const RangeChoice unsatisfiable{RangeChoice::kUnsatisfiable, 0, 0};
  header = Trim(header);
  // The unit is case-insensitive and directly followed by "="; blanks may stand
  // around the elements of the list, whose empty elements count for nothing.
  const std::size_t eq = header.find('=');
  if (eq == std::string_view::npos || !SameLetters(header.substr(0, eq), "bytes")) return whole;
  std::string_view byteRange;
  std::size_t elements = 0;
  for (std::string_view rest = header.substr(eq + 1);;) {
    const std::size_t comma = rest.find(',');
    const std::string_view element = Trim(rest.substr(0, comma));
    if (!element.empty()) {
      byteRange = element;
      ++elements;
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (elements != 1) return whole;  // none, or several ranges: the whole file serves them all
  const std::size_t dash = byteRange.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view firstText = byteRange.substr(0, dash);
  const std::string_view lastText = byteRange.substr(dash + 1);

  if (firstText.empty()) {  // the last N bytes
    auto n = ParseNumber(lastText);
    if (!n) return whole;
    if (*n == 0 || fileSize == 0) return unsatisfiable;
    const std::int64_t length = std::min(*n, fileSize);
    return {RangeChoice::kPartial, fileSize - length, length};
  }
  auto first = ParseNumber(firstText);
  if (!first) return whole;
  std::int64_t last = fileSize - 1;
  if (!lastText.empty()) {
    auto parsed = ParseNumber(lastText);
    if (!parsed || *parsed < *first) return whole;
    last = std::min(*parsed, fileSize - 1);
  }
  if (*first >= fileSize) return unsatisfiable;
  return {RangeChoice::kPartial, *first, last - *first + 1};
}

std::string ContentRangeValue(const RangeChoice& choice, std::int64_t fileSize) {
  if (choice.kind == RangeChoice::kUnsatisfiable) return "bytes */" + std::to_string(fileSize);
  return "bytes " + std::to_string(choice.first) + "-" + std::to_string(choice.first + choice.length - 1) +
         "/" + std::to_string(fileSize);
}

}  // namespace zel::svc
