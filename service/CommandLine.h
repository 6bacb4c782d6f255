// The service's command line: serve, publish, report, prune, migrate and keygen.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Signing.h"
#include "UpdateServer.h"

namespace zel::svc {

struct ServeOptions {
  ServerConfig server;
  std::string db;                        // an SQLite file or a PostgreSQL address
  std::vector<std::string> signingKeys;  // private key files, one key each
};

struct PublishOptions {
  std::string catalogPath;
  std::optional<std::string> version;  // absent: only the policy changes
  std::string packagePath;
  std::string url;
  bool reinstall = false;
  bool latest = false;
  bool lowercaseMd5 = false;
  bool replace = false;  // a version already published may get other bytes
  Policy policyChanges;  // applied only where the flags below say so
  bool setWantFullProfile = false;
  bool setFullProfileEveryDays = false;
  bool setUpdateUrl = false;
};

struct KeygenOptions {
  std::string outDir;
  KeyKind kind = KeyKind::kEcdsaP256;
};

struct ReportOptions {
  std::string db;
  std::string htmlPath;  // non-empty: write the HTML page there instead of text
  int days = 90;         // the period of the day-by-day figures
};

struct MigrateOptions {
  std::string db;
};

struct PruneOptions {
  std::string db;
  int olderThanDays = 0;
};

struct ParsedCommand {
  enum Kind { kError, kHelp, kServe, kPublish, kReport, kPrune, kMigrate, kKeygen } kind = kError;
  ServeOptions serve;
  KeygenOptions keygen;
  PublishOptions publish;
  ReportOptions report;
  PruneOptions prune;
  MigrateOptions migrate;
  std::string error;
};

// args excludes the program name.
ParsedCommand ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace zel::svc
