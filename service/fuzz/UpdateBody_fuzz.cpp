// An update POST body as any client may send it: decoded within the bounds, only
// the protocol's fields kept, and an answer made for every accepted query.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "Answer.h"
#include "RequestBody.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zel::svc;
  const DecodeResult decoded = DecodeUpdateBody(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!decoded.query && decoded.error.empty()) std::abort();
  if (!decoded.query) return 0;
  const UpdateQuery& query = *decoded.query;
  if (query.text.size() > kMaxQueryBytes || query.fields.size() > kKnownFields.size()) std::abort();
  std::set<std::string> names;
  for (const auto& [name, value] : query.fields)
    if (!names.insert(name).second || value.size() > kMaxValueBytes) std::abort();
  if (!query.Field("AppVer") || !query.Field("ExecutionLevel")) std::abort();

  static const Catalog catalog{
      "2.1.0", {{"2.1.0", "http://h/p.exe", 100, std::string(32, 'A'), true, ""}}, {}};
  const AnswerResult answer = AnswerQuery(catalog, query, ClientHistory{1776414600, std::nullopt});
  if (answer.answer.has_value() == !answer.error.empty()) std::abort();
  return 0;
}
