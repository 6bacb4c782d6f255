// The update query as the program posts it: the form body
// size=N&checksum=0&zip=Z&data=D, whose data holds the query text (hex of its UTF-8
// bytes, zlib-compressed first when zip is 1), a run of name=value fields joined by
// "&" whose values are hex text of UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zel::svc {

// Bounds that keep one request from tying up memory.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
inline constexpr std::size_t kMaxQueryBytes = 1 << 20;

struct UpdateQuery {
  std::string text;  // the decoded query text, e.g. AppVer=312E30&ExecutionLevel=30&...
  bool compressed = false;
  std::vector<std::pair<std::string, std::string>> fields;  // names and decoded values, in order

  std::optional<std::string> Field(std::string_view name) const;
  std::string FieldOr(std::string_view name, std::string_view fallback) const;
  // True when the profile carries more than the short form (UUID, OSMajorVer).
  bool HasFullProfile() const;
};

struct DecodeResult {
  std::optional<UpdateQuery> query;
  std::string error;  // why the body was refused, when there is no query
};

// Checks the form body and decodes the query it carries. AppVer and ExecutionLevel
// must be present; every field value must be hex text; no name may repeat.
DecodeResult DecodeUpdateBody(std::string_view body);

// The fields of a query text (without the form layer). Empty error on success.
std::string ParseQueryFields(std::string_view text, UpdateQuery& query);

}  // namespace zel::svc
