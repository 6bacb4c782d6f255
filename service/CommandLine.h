// The service's command line: serve, publish and report.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "UpdateServer.h"

namespace zel::svc {

struct ServeOptions {
  ServerConfig server;
  std::string db_path;
};

struct PublishOptions {
  std::string catalog_path;
  std::optional<std::string> version;  // absent: only the policy changes
  std::string package_path;
  std::string url;
  bool reinstall = false;
  bool latest = false;
  bool lowercase_md5 = false;
  Policy policy_changes;  // applied only where the flags below say so
  bool set_want_full_profile = false;
  bool set_full_profile_every_days = false;
  bool set_update_url = false;
};

struct ReportOptions {
  std::string db_path;
};

struct ParsedCommand {
  enum Kind { kError, kHelp, kServe, kPublish, kReport } kind = kError;
  ServeOptions serve;
  PublishOptions publish;
  ReportOptions report;
  std::string error;
};

// args excludes the program name.
ParsedCommand ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace zel::svc
