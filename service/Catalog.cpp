#include "Catalog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>

namespace zel::svc {

namespace {

using nlohmann::json;

std::string_view StripLeadingZeros(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return digits;
}

std::string_view NextComponent(std::string_view& rest) {
  const std::size_t dot = rest.find('.');
  std::string_view component = rest.substr(0, dot);
  rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
  return component;
}

bool IsMd5Text(std::string_view text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

}  // namespace

std::string CheckPackageEntry(const PackageEntry& e) {
  if (!IsVersionText(e.version)) return "package version is not a dotted decimal: " + e.version;
  if (e.url.empty()) return "package " + e.version + " has no url";
  if (e.size < 1 || e.size > std::numeric_limits<std::int32_t>::max()) {
    return "package " + e.version + " must hold 1 to 2147483647 bytes, not " + std::to_string(e.size);
  }
  if (!IsMd5Text(e.md5)) return "package " + e.version + " md5 must be 32 hex digits";
  return {};
}

const PackageEntry* Catalog::Find(std::string_view version) const {
  for (const auto& p : packages) {
    if (CompareVersions(p.version, version) == 0) return &p;
  }
  return nullptr;
}

bool IsVersionText(std::string_view text) {
  if (text.empty()) return false;
  bool digit_seen = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit_seen = true;
    } else if (c == '.' && digit_seen) {
      digit_seen = false;
    } else {
      return false;
    }
  }
  return digit_seen;
}

int CompareVersions(std::string_view a, std::string_view b) {
  while (!a.empty() || !b.empty()) {
    // Compared as digit strings, so no component can overflow.
    std::string_view x = StripLeadingZeros(NextComponent(a));
    std::string_view y = StripLeadingZeros(NextComponent(b));
    if (x.empty()) x = "0";
    if (y.empty()) y = "0";
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    if (int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
  }
  return 0;
}

std::optional<Catalog> CatalogFromJson(std::string_view text, std::string& error) {
  try {
    const json doc = json::parse(text);
    if (!doc.is_object()) {
      error = "catalog is not a JSON object";
      return std::nullopt;
    }
    Catalog catalog;
    catalog.latest = doc.value("latest", "");
    for (const json& item : doc.value("packages", json::array())) {
      PackageEntry e;
      e.version = item.at("version").get<std::string>();
      e.url = item.at("url").get<std::string>();
      e.size = item.at("size").get<std::int64_t>();
      e.md5 = item.at("md5").get<std::string>();
      e.reinstall = item.value("reinstall", 0) != 0;
      e.published = item.value("published", "");
      if (error = CheckPackageEntry(e); !error.empty()) return std::nullopt;
      if (catalog.Find(e.version)) {
        error = "package version listed twice: " + e.version;
        return std::nullopt;
      }
      catalog.packages.push_back(std::move(e));
    }
    if (!catalog.latest.empty() && !catalog.Find(catalog.latest)) {
      error = "latest version " + catalog.latest + " is not among the packages";
      return std::nullopt;
    }
    const json policy = doc.value("policy", json::object());
    catalog.policy.want_full_profile = policy.value("want_full_profile", false);
    catalog.policy.full_profile_every_days = policy.value("full_profile_every_days", 0);
    catalog.policy.update_url = policy.value("update_url", "");
    if (catalog.policy.full_profile_every_days < 0) {
      error = "full_profile_every_days must not be negative";
      return std::nullopt;
    }
    std::sort(catalog.packages.begin(), catalog.packages.end(),
              [](const auto& x, const auto& y) { return CompareVersions(x.version, y.version) < 0; });
    return catalog;
  } catch (const json::exception& e) {
    error = std::string("catalog JSON: ") + e.what();
    return std::nullopt;
  }
}

std::string CatalogToJson(const Catalog& catalog) {
  json packages = json::array();
  for (const auto& e : catalog.packages) {
    packages.push_back({{"version", e.version},
                        {"url", e.url},
                        {"size", e.size},
                        {"md5", e.md5},
                        {"reinstall", e.reinstall ? 1 : 0},
                        {"published", e.published}});
  }
  const json doc = {{"latest", catalog.latest},
                    {"packages", packages},
                    {"policy",
                     {{"want_full_profile", catalog.policy.want_full_profile},
                      {"full_profile_every_days", catalog.policy.full_profile_every_days},
                      {"update_url", catalog.policy.update_url}}}};
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<Catalog> LoadCatalog(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Catalog{};
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    error = "cannot read the catalog " + path;
    return std::nullopt;
  }
  return CatalogFromJson(text.str(), error);
}

bool SaveCatalog(const std::string& path, const Catalog& catalog, std::string& error) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << CatalogToJson(catalog);
    out.close();
    if (!out) {
      error = "cannot write " + temp;
      std::remove(temp.c_str());
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    error = "cannot replace " + path + ": " + ec.message();
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void PublishEntry(Catalog& catalog, PackageEntry entry, bool make_latest) {
  const std::string version = entry.version;
  auto same = std::find_if(catalog.packages.begin(), catalog.packages.end(),
                           [&](const auto& p) { return CompareVersions(p.version, version) == 0; });
  if (same != catalog.packages.end()) {
    *same = std::move(entry);
  } else {
    auto at = std::find_if(catalog.packages.begin(), catalog.packages.end(),
                           [&](const auto& p) { return CompareVersions(p.version, version) > 0; });
    catalog.packages.insert(at, std::move(entry));
  }
  if (make_latest || catalog.latest.empty()) catalog.latest = version;
}

}  // namespace zel::svc
