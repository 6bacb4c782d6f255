// A value read from the registry: nothing, a text (string and expandable-string
// values, never expanded) or a signed 32-bit number (DWORD values).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace zel {

using RegValue = std::variant<std::monostate, std::string, std::int32_t>;

// The value as text: a number in decimal, nothing as the empty text.
std::string RegValueText(const RegValue& value);
// The value as a whole number: a DWORD as it is; a text that reads as a decimal
// number (spaces around, a sign and a fraction after a point allowed) rounded to the
// nearest whole number, an exact half to the even one ("2.5" gives 2, "3.5" gives 4);
// nothing as 0; no value for any other text.
std::optional<long long> RegValueWholeNumber(const RegValue& value);

}  // namespace zel
