#include "Catalog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Upper case, the form publish writes and answers carry.
bool IsSha256Text(std::string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
         });
}

// What is wrong with an address past its scheme: it must name a host and hold no
// blank or control character. Empty when nothing is.
std::string CheckAddressRest(const std::string& url, std::size_t schemeLength, const std::string& what) {
  const std::string_view rest = std::string_view(url).substr(schemeLength);
  if (rest.substr(0, rest.find_first_of("/?#")).empty()) return what + " names no host: " + url;
  if (std::any_of(url.begin(), url.end(), [](unsigned char c) { return c <= ' ' || c == 0x7F; })) {
    return what + " contains blanks or control characters: " + url;
  }
  return {};
}

}  // namespace

std::string CheckPackageEntry(const PackageEntry& e) {
  if (!IsVersionText(e.version)) return "package version is not a dotted decimal: " + e.version;
  if (std::string problem = CheckPackageUrl(e.url); !problem.empty()) return "package " + e.version + ": " + problem;
  if (e.size < 1 || e.size > std::numeric_limits<std::int32_t>::max()) {
    return "package " + e.version + " must hold 1 to 2147483647 bytes, not " + std::to_string(e.size);
  }
  if (!IsMd5Text(e.md5)) return "package " + e.version + " md5 must be 32 hex digits";
  if (!e.sha256.empty() && !IsSha256Text(e.sha256)) {
    return "package " + e.version + " sha256 must be 64 upper-case hex digits";
  }
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
  bool digitSeen = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digitSeen = true;
    } else if (c == '.' && digitSeen) {
      digitSeen = false;
    } else {
      return false;
    }
  }
  return digitSeen;
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
      e.sha256 = item.value("sha256", "");  // none in entries of older catalogs
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
    catalog.policy.wantFullProfile = policy.value("want_full_profile", false);
    catalog.policy.fullProfileEveryDays = policy.value("full_profile_every_days", 0);
    catalog.policy.updateUrl = policy.value("update_url", "");
    if (catalog.policy.fullProfileEveryDays < 0) {
      error = "full_profile_every_days must not be negative";
      return std::nullopt;
    }
    if (error = CheckUpdateUrl(catalog.policy.updateUrl); !error.empty()) return std::nullopt;
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
    json entry = {{"version", e.version},
                  {"url", e.url},
                  {"size", e.size},
                  {"md5", e.md5},
                  {"reinstall", e.reinstall ? 1 : 0},
                  {"published", e.published}};
    if (!e.sha256.empty()) entry["sha256"] = e.sha256;
    packages.push_back(std::move(entry));
  }
  const json doc = {{"latest", catalog.latest},
                    {"packages", packages},
                    {"policy",
                     {{"want_full_profile", catalog.policy.wantFullProfile},
                      {"full_profile_every_days", catalog.policy.fullProfileEveryDays},
                      {"update_url", catalog.policy.updateUrl}}}};
  return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string CheckPackageUrl(const std::string& url) {
  constexpr std::string_view kScheme = "http://";
  if (!url.starts_with(kScheme)) {
    return "the package url must begin with http:// (the program fetches ranges over plain http): " + url;
  }
  return CheckAddressRest(url, kScheme.size(), "the package url");
}

std::string CheckUpdateUrl(const std::string& url) {
  if (url.empty()) return {};
  for (std::string_view scheme : {"http://", "https://"}) {
    if (url.starts_with(scheme)) return CheckAddressRest(url, scheme.size(), "the update url");
  }
  return "the update url must begin with http:// or https://: " + url;
}

std::optional<Catalog> LoadCatalog(const std::string& path, std::string& error, bool* missing) {
  if (missing) *missing = false;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code ec;
    const bool absent = !std::filesystem::exists(path, ec) && !ec;
    if (missing) *missing = absent;
    error = (absent ? "no catalog at " : "cannot read the catalog ") + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read the catalog " + path;
    return std::nullopt;
  }
  return CatalogFromJson(text.str(), error);
}

bool SaveCatalog(const std::string& path, const Catalog& catalog, std::string& error) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  const std::string text = CatalogToJson(catalog);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const bool ok = written == text.size() && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  close(fd);
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  // The rename itself is made durable by syncing the folder.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

CatalogLock::CatalogLock(const std::string& catalogPath) {
  fd_ = open((catalogPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

CatalogLock::~CatalogLock() {
  if (fd_ >= 0) close(fd_);
}

void PublishEntry(Catalog& catalog, PackageEntry entry, bool makeLatest) {
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
  if (makeLatest || catalog.latest.empty()) catalog.latest = version;
}

}  // namespace zel::svc
