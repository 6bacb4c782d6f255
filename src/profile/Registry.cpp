#include "profile/Registry.h"

#include <charconv>
#include <limits>
#include <string_view>

#include "system/Text.h"

namespace zel {

std::string RegValueText(const RegValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  return {};
}

std::optional<long long> RegValueWholeNumber(const RegValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return 0;
  // A decimal number: an optional sign, digits, an optional fraction after a point.
  const std::string trimmed = TrimSpaces(*text);
  std::string_view rest = trimmed;
  const bool negative = rest.starts_with('-');
  if (negative || rest.starts_with('+')) rest.remove_prefix(1);
  const std::string_view whole = rest.substr(0, rest.find('.'));
  std::string_view fraction = rest.substr(whole.size());
  if (!fraction.empty()) fraction.remove_prefix(1);  // the point
  const auto digitsOnly = [](std::string_view part) {
    return part.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction)) return std::nullopt;

  long long result = 0;
  if (!whole.empty()) {
    const auto [stop, error] = std::from_chars(whole.data(), whole.data() + whole.size(), result);
    if (error != std::errc() || stop != whole.data() + whole.size()) return std::nullopt;
  }
  // The fraction rounds to the nearest whole number, an exact half to the even one.
  if (!fraction.empty()) {
    const bool pastHalf = fraction.find_first_not_of('0', 1) != std::string_view::npos;
    const bool up = fraction[0] > '5' || (fraction[0] == '5' && (pastHalf || result % 2 != 0));
    if (up) {
      if (result == std::numeric_limits<long long>::max()) return std::nullopt;
      ++result;
    }
  }
  return negative ? -result : result;
}

}  // namespace zel
