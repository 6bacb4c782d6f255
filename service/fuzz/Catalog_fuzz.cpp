// A catalog file as found on disk: accepted only when valid, and then written
// back to the same catalog.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zel::svc;
  std::string error;
  auto catalog = CatalogFromJson(std::string(reinterpret_cast<const char*>(data), size), error);
  if (!catalog && error.empty()) std::abort();
  if (!catalog) return 0;
  if (!catalog->latest.empty() && !catalog->Find(catalog->latest)) std::abort();
  for (const auto& entry : catalog->packages)
    if (!CheckPackageEntry(entry).empty()) std::abort();
  const std::string text = CatalogToJson(*catalog);
  auto again = CatalogFromJson(text, error);
  if (!again || CatalogToJson(*again) != text) std::abort();
  return 0;
}
