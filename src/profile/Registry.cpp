#include "profile/Registry.h"

#include <charconv>

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
  std::string digits = TrimSpaces(*text);
  if (!digits.empty() && digits.front() == '+') digits.erase(0, 1);
  long long result = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, result);
  if (digits.empty() || error != std::errc() || stop != end) return std::nullopt;
  return result;
}

}  // namespace zel
