#include "RequestBody.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "WireCodec.h"

namespace zel::svc {

namespace {

// Fields that only the full form of the machine profile carries.
constexpr std::array<std::string_view, 9> kFullProfileFields = {"Arch",        "OSName",      "OSVer",
                                                                "CPU",         "Resolution",  "HttpsShellApp",
                                                                "DocShellApp", "DocShellVer", "OfficeAddins"};

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// A name from the client, cut short and with anything but printable ASCII replaced,
// fit for an error message.
std::string Printable(std::string_view name) {
  std::string out;
  for (char c : name.substr(0, 32)) out.push_back(c > ' ' && c < 0x7F ? c : '?');
  return out;
}

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or code
// points past U+10FFFF. Kept values are stored as text, which a UTF-8 database takes
// only in this form.
bool IsUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p < end) {
    const unsigned char c = *p++;
    if (c < 0x80) continue;
    int more = 0;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) low = 0xA0;   // overlong
      if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) low = 0x90;   // overlong
      if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
      return false;
    }
    if (end - p < more || *p < low || *p > high) return false;
    for (++p, --more; more > 0; ++p, --more) {
      if ((*p & 0xC0) != 0x80) return false;
    }
  }
  return true;
}

bool IsDecimal(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> UpdateQuery::Field(std::string_view name) const {
  for (const auto& [n, v] : fields) {
    if (n == name) return v;
  }
  return std::nullopt;
}

std::string UpdateQuery::FieldOr(std::string_view name, std::string_view fallback) const {
  auto value = Field(name);
  return value ? *value : std::string(fallback);
}

bool UpdateQuery::HasFullProfile() const {
  return std::any_of(kFullProfileFields.begin(), kFullProfileFields.end(),
                     [this](std::string_view name) { return Field(name).has_value(); });
}

std::string ParseQueryFields(std::string_view text, UpdateQuery& query) {
  query.fields.clear();
  query.unknownFields = 0;
  std::unordered_set<std::string_view> seen;
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view item = text.substr(start, end - start);
    start = end + 1;
    if (++count > kMaxQueryFields) return "query has more than " + std::to_string(kMaxQueryFields) + " fields";
    const std::size_t eq = item.find('=');
    if (eq == std::string_view::npos || eq == 0) return "query item without name=value";
    const std::string_view name = item.substr(0, eq);
    const std::string_view hex = item.substr(eq + 1);
    if (!seen.insert(name).second) return "query field repeated: " + Printable(name);
    if (hex.size() > 2 * kMaxValueBytes) return "query field too long: " + Printable(name);
    auto value = HexDecodeText(hex);
    if (!value) return "query field is not hex text: " + Printable(name);
    if (std::find(kKnownFields.begin(), kKnownFields.end(), name) == kKnownFields.end()) {
      ++query.unknownFields;
    } else {
      if (!IsUtf8(*value)) return "query field is not UTF-8 text: " + Printable(name);
      query.fields.emplace_back(std::string(name), std::move(*value));
    }
  }
  for (std::string_view required : {"AppVer", "ExecutionLevel"}) {
    if (!seen.count(required)) return "query lacks " + std::string(required);
  }
  return {};
}

DecodeResult DecodeUpdateBody(std::string_view body) {
  DecodeResult result;
  if (body.size() > kMaxBodyBytes) {
    result.error = "body too large";
    return result;
  }
  const auto items = Split(body, '&');
  static constexpr std::array<std::string_view, 4> kNames = {"size", "checksum", "zip", "data"};
  if (items.size() != kNames.size()) {
    result.error = "body must have the four fields size, checksum, zip, data";
    return result;
  }
  std::array<std::string_view, 4> values;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    const std::size_t eq = items[i].find('=');
    if (eq == std::string_view::npos || items[i].substr(0, eq) != kNames[i]) {
      result.error = "body field " + std::to_string(i + 1) + " must be " + std::string(kNames[i]);
      return result;
    }
    values[i] = items[i].substr(eq + 1);
  }
  const auto [size, checksum, zip, data] = values;

  if (!IsDecimal(size) || (size.size() > 1 && size[0] == '0') || size.size() > 9) {
    result.error = "size is not a decimal number";
    return result;
  }
  if (std::stoul(std::string(size)) != data.size()) {
    result.error =
        "size " + std::string(size) + " differs from the data length " + std::to_string(data.size());
    return result;
  }
  if (checksum != "0") {
    result.error = "checksum must be 0";
    return result;
  }
  if (zip != "0" && zip != "1") {
    result.error = "zip must be 0 or 1";
    return result;
  }
  auto bytes = HexToBytes(data);
  if (!bytes || bytes->empty()) {
    result.error = "data is not hex text";
    return result;
  }

  UpdateQuery query;
  query.compressed = zip == "1";
  if (query.compressed) {
    InflateResult inflated = InflateZlib(*bytes, kMaxQueryBytes);
    switch (inflated.status) {
      case InflateStatus::kOk:
        query.text = std::move(inflated.bytes);
        break;
      case InflateStatus::kTrailingBytes:
        result.error = "data has bytes after the end of the zlib stream";
        return result;
      case InflateStatus::kTooLarge:
        result.error = "compressed query too large";
        return result;
      case InflateStatus::kCorrupt:
        result.error = "data is not a complete zlib stream";
        return result;
    }
  } else {
    query.text = std::move(*bytes);
  }

  result.error = ParseQueryFields(query.text, query);
  if (result.error.empty()) result.query = std::move(query);
  return result;
}

}  // namespace zel::svc
