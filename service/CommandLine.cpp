#include "CommandLine.h"

#include <CLI/CLI.hpp>

namespace zel::svc {

const char* const kUsage =
    "usage:\n"
    "  zelupdate-service serve --catalog FILE --db FILE|postgresql://... --packages DIR\n"
    "                          [--host 127.0.0.1] [--port 8080] [--path /zelguard/update1]\n"
    "                          [--threads N] [--signing-key FILE]... [--admin HOST:PORT]\n"
    "                          [--trusted-proxy ADDRESS]... [--per-address-limit N]\n"
    "                          [--log-level error|warn|info] [--test-control] [--quiet]\n"
    "  zelupdate-service publish --catalog FILE\n"
    "                          [--version VER --package FILE --url URL [--reinstall 0|1] [--latest]\n"
    "                           [--lowercase-md5] [--replace]]\n"
    "                          [--policy want-full-profile on|off]\n"
    "                          [--policy full-profile-every-days N]\n"
    "                          [--policy update-url URL]\n"
    "  zelupdate-service report --db FILE|postgresql://... [--html FILE] [--days N]\n"
    "  zelupdate-service prune --db FILE|postgresql://... --older-than DAYS\n"
    "  zelupdate-service migrate --db FILE|postgresql://...\n"
    "  zelupdate-service keygen --out DIR [--rsa]\n"
    "A PostgreSQL password never goes on the command line: ~/.pgpass, PGPASSFILE or PGPASSWORD.\n";

namespace {

// Splits HOST:PORT ([::1]:PORT for IPv6); false when it is not of that form.
bool SplitHostPort(const std::string& text, std::string& host, int& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string digits = text.substr(colon + 1);
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(digits);
  return !host.empty() && port <= 65535;
}

void AddServe(CLI::App& app, ServeOptions& o, std::string& admin, std::string& logLevel) {
  app.add_option("--host", o.server.host);
  app.add_option("--port", o.server.port)->check(CLI::Range(0, 65535));
  app.add_option("--catalog", o.server.catalogPath)->required();
  app.add_option("--db", o.db)->required();
  app.add_option("--packages", o.server.packagesDir)->required();
  app.add_option("--path", o.server.updatePath)->check([](const std::string& path) {
    return !path.empty() && path[0] == '/' ? std::string() : std::string("--path must begin with /");
  });
  app.add_option("--threads", o.server.threads)->check(CLI::Range(1, 256));
  app.add_option("--signing-key", o.signingKeys)->take_all();
  app.add_option("--admin", admin);
  app.add_option("--trusted-proxy", o.server.trustedProxies)->take_all();
  app.add_option("--per-address-limit", o.server.connectionsPerAddress)->check(CLI::Range(1, 65535));
  app.add_option("--log-level", logLevel)->check(CLI::IsMember({"error", "warn", "info"}));
  app.add_flag("--test-control", o.server.testControl);
  app.add_flag("--quiet", [&o](std::int64_t) { o.server.logRequests = false; });
}

void AddPublish(CLI::App& app, PublishOptions& o, std::vector<std::string>& policies, std::string& version,
                std::string& reinstall) {
  app.add_option("--catalog", o.catalogPath)->required();
  app.add_option("--version", version);
  app.add_option("--package", o.packagePath);
  app.add_option("--url", o.url);
  app.add_option("--reinstall", reinstall)->check(CLI::IsMember({"0", "1"}));
  app.add_flag("--latest", o.latest);
  app.add_flag("--lowercase-md5", o.lowercaseMd5);
  app.add_flag("--replace", o.replace);
  app.add_option("--policy", policies, "NAME VALUE")->expected(2)->take_all()->multi_option_policy(
      CLI::MultiOptionPolicy::TakeAll);
}

// The checks of a policy switch; the first problem, if any.
std::string ApplyPolicy(PublishOptions& o, const std::string& name, const std::string& value) {
  if (name == "want-full-profile") {
    if (value != "on" && value != "off") return "want-full-profile must be on or off";
    o.setWantFullProfile = true;
    o.policyChanges.wantFullProfile = value == "on";
  } else if (name == "full-profile-every-days") {
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(value) > 36500)
      return "full-profile-every-days must be a number of days (0 switches it off)";
    o.setFullProfileEveryDays = true;
    o.policyChanges.fullProfileEveryDays = std::stoi(value);
  } else if (name == "update-url") {
    if (std::string problem = CheckUpdateUrl(value); !problem.empty()) return problem;
    o.setUpdateUrl = true;
    o.policyChanges.updateUrl = value;
  } else {
    return "unknown policy: " + name;
  }
  return {};
}

// What publish was given, checked as a whole.
std::string FinishPublish(CLI::App& app, PublishOptions& o, const std::vector<std::string>& policies,
                          const std::string& version, const std::string& reinstall) {
  for (std::size_t i = 0; i + 1 < policies.size(); i += 2) {
    if (std::string problem = ApplyPolicy(o, policies[i], policies[i + 1]); !problem.empty()) return problem;
  }
  const auto given = [&app](const char* name) { return app.count(name) > 0; };
  if (given("--version")) {
    o.version = version;
    if (!IsVersionText(version)) return "--version must be dotted decimal numbers, e.g. 2.1.0";
    if (!given("--package")) return "--package is required with --version";
    if (!given("--url")) return "--url is required with --version";
    o.reinstall = reinstall == "1";
    return {};
  }
  for (const char* name : {"--package", "--url", "--reinstall", "--latest", "--lowercase-md5", "--replace"}) {
    if (given(name)) return "--version is required to publish a package";
  }
  if (!o.setWantFullProfile && !o.setFullProfileEveryDays && !o.setUpdateUrl) {
    return "nothing to publish: give --version or --policy";
  }
  return {};
}

}  // namespace

ParsedCommand ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommand cmd;
  if (args.empty()) {
    cmd.error = "no command";
    return cmd;
  }
  if (args.front() == "help") {
    cmd.kind = ParsedCommand::kHelp;
    return cmd;
  }
  CLI::App app{"zelupdate-service"};
  app.require_subcommand(1);
  std::string admin, logLevel, version, reinstall;
  std::vector<std::string> policies;
  CLI::App* serve = app.add_subcommand("serve");
  AddServe(*serve, cmd.serve, admin, logLevel);
  CLI::App* publish = app.add_subcommand("publish");
  AddPublish(*publish, cmd.publish, policies, version, reinstall);
  CLI::App* report = app.add_subcommand("report");
  report->add_option("--db", cmd.report.db)->required();
  report->add_option("--html", cmd.report.htmlPath);
  report->add_option("--days", cmd.report.days)->check(CLI::Range(1, 36500));
  CLI::App* prune = app.add_subcommand("prune");
  prune->add_option("--db", cmd.prune.db)->required();
  prune->add_option("--older-than", cmd.prune.olderThanDays, "DAYS")->required()->check(CLI::Range(1, 36500));
  CLI::App* migrate = app.add_subcommand("migrate");
  migrate->add_option("--db", cmd.migrate.db)->required();
  CLI::App* keygen = app.add_subcommand("keygen");
  keygen->add_option("--out", cmd.keygen.outDir)->required();
  bool rsa = false;
  keygen->add_flag("--rsa", rsa);

  // An option that needs a value never takes the next option as that value: a
  // forgotten value is an error, not a swallowed switch.
  for (CLI::App* sub : {serve, publish, report, prune, migrate, keygen}) {
    if (sub->get_name() != args.front()) continue;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const CLI::Option* option = sub->get_option_no_throw(args[i]);
      if (!option) continue;
      for (int v = 1; v <= option->get_items_expected_min(); ++v) {
        if (i + v >= args.size() || sub->get_option_no_throw(args[i + v])) {
          cmd.error = args[i] + " needs " + (option->get_items_expected_min() > 1 ? "values" : "a value");
          return cmd;
        }
      }
    }
  }
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    cmd.kind = ParsedCommand::kHelp;
    return cmd;
  } catch (const CLI::ParseError& e) {
    cmd.error = e.what();
    return cmd;
  }
  std::string problem;
  if (serve->parsed()) {
    cmd.kind = ParsedCommand::kServe;
    if (!admin.empty() && !SplitHostPort(admin, cmd.serve.server.adminHost, cmd.serve.server.adminPort)) {
      problem = "--admin must be HOST:PORT";
    }
    if (!logLevel.empty()) cmd.serve.server.logLevel = ParseLogLevel(logLevel).value_or(LogLevel::kInfo);
  } else if (publish->parsed()) {
    cmd.kind = ParsedCommand::kPublish;
    problem = FinishPublish(*publish, cmd.publish, policies, version, reinstall);
  } else if (report->parsed()) {
    cmd.kind = ParsedCommand::kReport;
  } else if (prune->parsed()) {
    cmd.kind = ParsedCommand::kPrune;
  } else if (migrate->parsed()) {
    cmd.kind = ParsedCommand::kMigrate;
  } else if (keygen->parsed()) {
    cmd.kind = ParsedCommand::kKeygen;
    if (rsa) cmd.keygen.kind = KeyKind::kRsa3072;
  }
  if (!problem.empty()) {
    cmd.kind = ParsedCommand::kError;
    cmd.error = problem;
  }
  return cmd;
}

}  // namespace zel::svc
