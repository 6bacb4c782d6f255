#include "protocol/JsonAnswer.h"
#include "system/Guarded.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
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

// The code unit of the four hex digits at `at`, when four are there.
std::optional<unsigned> Hex4At(std::string_view text, std::size_t at) {
  if (at + 4 > text.size()) return std::nullopt;
  unsigned unit = 0;
  const char* const end = text.data() + at + 4;
  const auto [stop, error] = std::from_chars(text.data() + at, end, unit, 16);
  return error == std::errc() && stop == end ? std::optional(unit) : std::nullopt;
}

// Length of the JSON number that starts at `at`, or 0 when none does.
std::size_t JsonNumberLength(std::string_view text, std::size_t at) {
  std::size_t i = at;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i > from;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
  } else if (!digits()) {
    return 0;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (!digits()) return 0;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) return 0;
  }
  return i - at;
}

// The JSON library refuses two things that are valid JSON: a number beyond the range
// of a double and a \u escape of half a surrogate pair. Neither can be a value the
// program reads (it reads 32-bit integers and texts), so before parsing both are
// written in a form the library takes: the number as 1e308 (still a double), the half
// pair as U+FFFD. Everything else, invalid JSON included, stays as it came.
std::string Tolerated(std::string_view answer) {
  std::string out;
  out.reserve(answer.size());
  bool inString = false;
  std::size_t i = 0;
  while (i < answer.size()) {
    const char c = answer[i];
    if (inString) {
      if (c == '"') inString = false;
      if (c != '\\' || i + 1 >= answer.size()) {
        out += c;
        ++i;
      } else if (const auto unit = answer[i + 1] == 'u' ? Hex4At(answer, i + 2) : std::nullopt; !unit) {
        out.append(answer.substr(i, 2));
        i += 2;
      } else {
        const auto low = answer.substr(i + 6, 2) == "\\u" ? Hex4At(answer, i + 8) : std::nullopt;
        if (*unit >= 0xD800 && *unit <= 0xDBFF && low && *low >= 0xDC00 && *low <= 0xDFFF) {
          out.append(answer.substr(i, 12));
          i += 12;
        } else {
          out.append(*unit >= 0xD800 && *unit <= 0xDFFF ? "\\uFFFD" : answer.substr(i, 6));
          i += 6;
        }
      }
      continue;
    }
    const std::size_t number = (c == '-' || (c >= '0' && c <= '9')) ? JsonNumberLength(answer, i) : 0;
    if (number > 0) {
      const std::string token(answer.substr(i, number));
      const bool overflows = std::isinf(std::strtod(token.c_str(), nullptr));
      out.append(overflows ? (c == '-' ? "-1e308" : "1e308") : token);
      i += number;
      continue;
    }
    if (c == '"') inString = true;
    out += c;
    ++i;
  }
  return out;
}

}  // namespace

JsonAnswer::JsonAnswer(std::string_view answer) {
  // Strict JSON: no comments, no trailing content; a failed parse gives "discarded".
  const std::string tolerated = Tolerated(answer);
  Json root = Json::parse(tolerated.begin(), tolerated.end(), nullptr, false);
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
  return Guarded<std::optional<JsonValue>>("answer lookup", std::nullopt,
                                           [&] { return JsonAnswer(answer).Get(path, expected); });
}

}  // namespace zel
