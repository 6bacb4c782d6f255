#include "protocol/JsonAnswer.h"
#include "system/Guarded.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace zel {

struct JsonAnswer::Parsed {
  nlohmann::json root;
};

namespace {

using Json = nlohmann::json;

JsonKind KindOf(const Json& value) {
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  switch (value.type()) {
    case Json::value_t::null:
      return JsonKind::kNull;
    case Json::value_t::boolean:
      return JsonKind::kBoolean;
    case Json::value_t::number_integer: {
      const auto n = value.get<std::int64_t>();
      return n >= kMin && n <= kMax ? JsonKind::kInteger : JsonKind::kDouble;
    }
    case Json::value_t::number_unsigned:
      return value.get<std::uint64_t>() <= static_cast<std::uint64_t>(kMax) ? JsonKind::kInteger
                                                                            : JsonKind::kDouble;
    case Json::value_t::number_float:  // a fraction, an exponent, or beyond 64 bits
      return JsonKind::kDouble;
    case Json::value_t::string:
      return JsonKind::kText;
    default:  // object, array
      return JsonKind::kObject;
  }
}

// The value at path, or nullptr when the last member is absent; nullopt when the walk
// fails before that.
std::optional<const Json*> Walk(const Json& root, std::string_view path) {
  const Json* current = &root;
  for (;;) {
    const std::size_t dot = path.find('.');
    const std::string_view name = path.substr(0, dot);
    if (!current->is_object()) return std::nullopt;
    const auto it = current->find(name);
    const bool last = dot == std::string_view::npos;
    if (it == current->end()) {
      if (last) return nullptr;
      return std::nullopt;
    }
    current = &*it;
    if (last) return current;
    path.remove_prefix(dot + 1);
  }
}

}  // namespace

JsonAnswer::JsonAnswer(std::string_view answer) {
  // Strict JSON: no comments, no trailing content; a failed parse gives "discarded".
  Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
  if (!root.is_discarded()) parsed_ = std::make_unique<Parsed>(Parsed{std::move(root)});
}

JsonAnswer::~JsonAnswer() = default;
JsonAnswer::JsonAnswer(JsonAnswer&&) noexcept = default;
JsonAnswer& JsonAnswer::operator=(JsonAnswer&&) noexcept = default;

bool JsonAnswer::IsValid() const { return parsed_ != nullptr; }

std::optional<JsonKind> JsonAnswer::KindAt(std::string_view path) const {
  if (!parsed_) return std::nullopt;
  const auto found = Walk(parsed_->root, path);
  if (!found) return std::nullopt;
  return *found ? KindOf(**found) : JsonKind::kEmpty;
}

const nlohmann::json* JsonAnswer::Find(std::string_view path, JsonKind kind) const {
  if (!parsed_) return nullptr;
  const auto found = Walk(parsed_->root, path);
  return found && *found && KindOf(**found) == kind ? *found : nullptr;
}

std::optional<std::int32_t> JsonAnswer::GetInteger(std::string_view path) const {
  const Json* value = Find(path, JsonKind::kInteger);
  if (!value) return std::nullopt;
  return static_cast<std::int32_t>(value->get<std::int64_t>());
}

std::optional<std::string> JsonAnswer::GetText(std::string_view path) const {
  const Json* value = Find(path, JsonKind::kText);
  if (!value) return std::nullopt;
  return value->get<std::string>();
}

std::optional<JsonValue> JsonAnswer::Get(std::string_view path, JsonKind expected) const {
  if (expected == JsonKind::kInteger) {
    if (auto n = GetInteger(path)) return JsonValue(*n);
  } else if (expected == JsonKind::kText) {
    if (auto text = GetText(path)) return JsonValue(std::move(*text));
  }
  return std::nullopt;
}

std::optional<JsonValue> JsonGetValue(std::string_view path, std::string_view answer, JsonKind expected) {
  return Guarded<std::optional<JsonValue>>(std::nullopt, [&] { return JsonAnswer(answer).Get(path, expected); });
}

}  // namespace zel
