#include "protocol/ContentRange.h"

#include <charconv>

namespace zel {
namespace {

// Reads a run of decimal digits ending at `stop` (or at the end when stop is '\0').
// Leaves `text` after the stop character.
std::optional<std::uint64_t> TakeNumber(std::string_view& text, char stop) {
  const std::size_t end = stop == '\0' ? text.size() : text.find(stop);
  if (end == 0 || end == std::string_view::npos) return std::nullopt;
  const std::string_view digits = text.substr(0, end);
  std::uint64_t value = 0;
  // from_chars accepts no sign or blank in front of an unsigned number; it must use
  // every character, and an overflow is an error.
  const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
  text.remove_prefix(stop == '\0' ? end : end + 1);
  return value;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  constexpr std::string_view kUnit = "bytes ";
  if (!value.starts_with(kUnit)) return std::nullopt;
  value.remove_prefix(kUnit.size());
  const auto first = TakeNumber(value, '-');
  if (!first) return std::nullopt;
  const auto last = TakeNumber(value, '/');
  if (!last) return std::nullopt;
  const auto total = TakeNumber(value, '\0');
  if (!total || *first > *last || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

bool IsRestOfFile(std::string_view value, std::uint64_t from, std::uint64_t total) {
  const auto range = ParseContentRange(value);
  return range && from < total && *range == ContentRange{from, total - 1, total};
}

}  // namespace zel
