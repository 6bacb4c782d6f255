// The update query as the program posts it: the form body
// size=N&checksum=0&zip=Z&data=D, whose data holds the query text (hex of its UTF-8
// bytes, zlib-compressed first when zip is 1), a run of name=value fields joined by
// "&" whose values are hex text of UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel::svc {

// Bounds that keep one request cheap. A real query is under 4 KiB; the body limit
// holds for the bytes on the wire after any transfer or content decoding, and the
// inflated query is capped the same way.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;
inline constexpr std::size_t kMaxQueryBytes = 64 * 1024;
inline constexpr std::size_t kMaxQueryFields = 64;
inline constexpr std::size_t kMaxValueBytes = 8 * 1024;  // one decoded value

// The fields the program sends, in the order of its full profile. Only these are
// kept; others are counted.
inline constexpr std::array<std::string_view, 13> kKnownFields = {
    "AppVer", "ExecutionLevel", "UUID",          "OSMajorVer",  "Arch",        "OSName",      "OSVer",
    "CPU",    "Resolution",     "HttpsShellApp", "DocShellApp", "DocShellVer", "OfficeAddins"};

struct UpdateQuery {
  std::string text;  // the decoded query text, e.g. AppVer=312E30&ExecutionLevel=30&...
  bool compressed = false;
  std::vector<std::pair<std::string, std::string>> fields;  // known names and decoded values, in order
  std::size_t unknownFields = 0;                             // fields of other names, not kept

  std::optional<std::string> Field(std::string_view name) const;
  std::string FieldOr(std::string_view name, std::string_view fallback) const;
  // True when the profile carries more than the short form (UUID, OSMajorVer).
  bool HasFullProfile() const;
};

struct DecodeResult {
  std::optional<UpdateQuery> query;
  std::string error;  // why the body was refused, when there is no query
};

// Checks the form body and decodes the query it carries, in time linear in its
// length. AppVer and ExecutionLevel must be present; every field value must be hex
// text within kMaxValueBytes, and the value of a kept field UTF-8 text; no name may
// repeat; at most kMaxQueryFields fields.
DecodeResult DecodeUpdateBody(std::string_view body);

// The fields of a query text (without the form layer). Empty error on success.
std::string ParseQueryFields(std::string_view text, UpdateQuery& query);

}  // namespace zel::svc
