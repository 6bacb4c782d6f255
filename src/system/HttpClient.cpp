#include "system/HttpClient.h"

#include "system/Text.h"

namespace zel {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned port = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<unsigned>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

}  // namespace

std::string HttpResponse::Header(std::string_view name) const {
  const std::vector<std::string> values = HeaderValues(name);
  return values.empty() ? std::string() : values.front();
}

std::vector<std::string> HttpResponse::HeaderValues(std::string_view name) const {
  const std::string wanted = AsciiLower(name);
  std::vector<std::string> values;
  for (const HttpHeader& header : headers)
    if (AsciiLower(header.name) == wanted) values.push_back(header.value);
  return values;
}

std::optional<HttpUrl> SplitHttpUrl(std::string_view url) {
  HttpUrl parts;
  if (StartsWithNoCase(url, "https://")) {
    parts.secure = true;
    url.remove_prefix(8);
  } else if (StartsWithNoCase(url, "http://")) {
    url.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  const std::size_t end = url.find_first_of("/?#");
  std::string_view authority = url.substr(0, end);
  std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);
  rest = rest.substr(0, rest.find('#'));

  std::string_view host = authority;
  std::string_view port;
  const bool bracketed = authority.starts_with('[');
  if (bracketed) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return std::nullopt;
      port = after.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  // No user names in service URLs, and nothing a name lookup could misread.
  const std::string_view forbidden = bracketed ? "@[]/ \t\r\n" : "@[]: \t\r\n";
  if (host.empty() || host.find_first_of(forbidden) != std::string_view::npos) return std::nullopt;
  for (const char c : rest)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;

  parts.host = std::string(host);
  if (port.empty()) {
    parts.port = parts.secure ? 443 : 80;
  } else if (const auto number = ParsePort(port)) {
    parts.port = *number;
  } else {
    return std::nullopt;
  }
  parts.target = rest.empty() ? "/" : rest.starts_with('/') ? std::string(rest) : "/" + std::string(rest);
  return parts;
}

std::vector<HttpHeader> ParseHeaderBlock(std::string_view block) {
  std::vector<HttpHeader> headers;
  bool first = true;
  while (!block.empty()) {
    const std::size_t newline = block.find('\n');
    std::string_view line = block.substr(0, newline);
    block = newline == std::string_view::npos ? std::string_view() : block.substr(newline + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const bool statusLine = first && line.starts_with("HTTP/");
    first = false;
    const std::size_t colon = line.find(':');
    if (statusLine || colon == std::string_view::npos || colon == 0) continue;
    headers.push_back(
        {std::string(TrimBlanks(line.substr(0, colon))), std::string(TrimBlanks(line.substr(colon + 1)))});
  }
  return headers;
}

}  // namespace zel
