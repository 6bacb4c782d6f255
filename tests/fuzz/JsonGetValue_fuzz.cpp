// Answers of the update service as they might arrive: any bytes. The first line is
// the path, the rest the answer. Lookups never fail loudly, and a parsed answer gives
// the same results as one-off lookups, of the kind asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/JsonAnswer.h"

using namespace std::literals;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view path = newline == std::string_view::npos ? "code" : input.substr(0, newline);
  const std::string_view answer = newline == std::string_view::npos ? input : input.substr(newline + 1);
  const zel::JsonAnswer parsed(answer);
  for (const std::string_view p : {path, "data.updateinfo.size"sv, "data.updateurl"sv}) {
    for (const zel::JsonKind kind : {zel::JsonKind::kInteger, zel::JsonKind::kText}) {
      const auto once = zel::JsonGetValue(p, answer, kind);
      if (once != parsed.Get(p, kind) || (once && (!parsed.IsValid() || parsed.KindAt(p) != kind)) ||
          (once && (kind == zel::JsonKind::kInteger) != std::holds_alternative<std::int32_t>(*once)))
        std::abort();
    }
  }
  return 0;
}
