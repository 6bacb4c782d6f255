// Reading single values out of the update service's JSON answer. The answer is parsed
// as strict JSON, never evaluated; a lookup gives a value of the kind the caller
// expects, or no value (missing path, another kind, an answer that is not JSON).
#pragma once
#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zel {

// Kinds of value at a path, with their Automation variant codes.
enum class JsonKind : int {
  kEmpty = 0,     // the last member of the path is absent
  kNull = 1,      // null
  kInteger = 3,   // a number without fraction or exponent within the signed 32-bit range
  kDouble = 5,    // any other number
  kText = 8,      // a string
  kObject = 9,    // an object or an array
  kBoolean = 11,  // true or false
};

// A value as the lookups return it: the caller asks for integers and texts only.
using JsonValue = std::variant<std::int32_t, std::string>;

// An answer parsed once for many lookups. Paths are member names joined by ".",
// taken from the top-level object and compared exactly; of duplicate members in one
// object the last counts.
class JsonAnswer {
 public:
  explicit JsonAnswer(std::string_view answer);
  ~JsonAnswer();
  JsonAnswer(JsonAnswer&&) noexcept;
  JsonAnswer& operator=(JsonAnswer&&) noexcept;

  bool IsValid() const;
  // The kind at path; nullopt when the walk fails before the last member (a step from
  // null, an absent member or a non-object) or the answer is not valid JSON.
  std::optional<JsonKind> KindAt(std::string_view path) const;
  std::optional<std::int32_t> GetInteger(std::string_view path) const;
  std::optional<std::string> GetText(std::string_view path) const;
  // The value when its kind is expected (kInteger or kText); no value for any other kind.
  std::optional<JsonValue> Get(std::string_view path, JsonKind expected) const;

 private:
  struct Parsed;
  // The value at path when it has that kind, else nullptr.
  const nlohmann::json* Find(std::string_view path, JsonKind kind) const;

  std::unique_ptr<Parsed> parsed_;
};

// One lookup in one answer text.
std::optional<JsonValue> JsonGetValue(std::string_view path, std::string_view answer, JsonKind expected);

}  // namespace zel
