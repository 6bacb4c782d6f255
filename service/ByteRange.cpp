#include "ByteRange.h"

#include <algorithm>
#include <optional>

namespace zel::svc {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A decimal number of at most 18 digits, so it fits into 64 bits.
std::optional<std::int64_t> ParseNumber(std::string_view s) {
  if (s.empty() || s.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

RangeChoice ChooseRange(std::string_view header, std::int64_t file_size) {
  RangeChoice whole{RangeChoice::kWhole, 0, file_size};
  RangeChoice unsatisfiable{RangeChoice::kUnsatisfiable, 0, 0};
  header = Trim(header);
  constexpr std::string_view kUnit = "bytes=";
  if (header.size() < kUnit.size() || header.substr(0, kUnit.size()) != kUnit) return whole;
  const std::string_view range_set = Trim(header.substr(kUnit.size()));
  if (range_set.find(',') != std::string_view::npos) return whole;
  const std::size_t dash = range_set.find('-');
  if (dash == std::string_view::npos) return whole;
  const std::string_view first_text = Trim(range_set.substr(0, dash));
  const std::string_view last_text = Trim(range_set.substr(dash + 1));

  if (first_text.empty()) {  // the last N bytes
    auto n = ParseNumber(last_text);
    if (!n) return whole;
    if (*n == 0 || file_size == 0) return unsatisfiable;
    const std::int64_t length = std::min(*n, file_size);
    return {RangeChoice::kPartial, file_size - length, length};
  }
  auto first = ParseNumber(first_text);
  if (!first) return whole;
  std::int64_t last = file_size - 1;
  if (!last_text.empty()) {
    auto parsed = ParseNumber(last_text);
    if (!parsed || *parsed < *first) return whole;
    last = std::min(*parsed, file_size - 1);
  }
  if (*first >= file_size) return unsatisfiable;
  return {RangeChoice::kPartial, *first, last - *first + 1};
}

std::string ContentRangeValue(const RangeChoice& choice, std::int64_t file_size) {
  if (choice.kind == RangeChoice::kUnsatisfiable) return "bytes */" + std::to_string(file_size);
  return "bytes " + std::to_string(choice.first) + "-" + std::to_string(choice.first + choice.length - 1) +
         "/" + std::to_string(file_size);
}

}  // namespace zel::svc
