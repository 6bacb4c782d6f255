#include "CommandLine.h"

#include <algorithm>

namespace zel::svc {

const char* const kUsage =
    "usage:\n"
    "  zelupdate-service serve --catalog FILE --db FILE|postgresql://... --packages DIR\n"
    "                          [--host 127.0.0.1] [--port 8080] [--path /zelguard/update1]\n"
    "                          [--threads N] [--signing-key FILE]... [--test-control] [--quiet]\n"
    "  zelupdate-service publish --catalog FILE\n"
    "                          [--version VER --package FILE --url URL [--reinstall 0|1] [--latest]\n"
    "                           [--lowercase-md5]]\n"
    "                          [--policy want-full-profile on|off]\n"
    "                          [--policy full-profile-every-days N]\n"
    "                          [--policy update-url URL]\n"
    "  zelupdate-service report --db FILE|postgresql://... [--html FILE] [--days N]\n"
    "  zelupdate-service prune --db FILE|postgresql://... --older-than DAYS\n"
    "  zelupdate-service keygen --out DIR [--rsa]\n";

namespace {

// Reads "--name value" pairs and bare switches; the caller takes them out one by one
// and anything left over is an error.
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> args) : args_(std::move(args)) {}

  std::string error;

  bool Switch(const std::string& name) {
    auto it = std::find(args_.begin(), args_.end(), name);
    if (it == args_.end()) return false;
    args_.erase(it);
    return true;
  }

  std::optional<std::string> Value(const std::string& name) {
    auto it = std::find(args_.begin(), args_.end(), name);
    if (it == args_.end()) return std::nullopt;
    if (it + 1 == args_.end()) {
      Fail(name + " needs a value");
      args_.erase(it);
      return std::nullopt;
    }
    std::string value = *(it + 1);
    args_.erase(it, it + 2);
    if (std::find(args_.begin(), args_.end(), name) != args_.end()) Fail(name + " given twice");
    return value;
  }

  std::string Required(const std::string& name) {
    auto value = Value(name);
    if (!value) Fail(name + " is required");
    return value.value_or("");
  }

  // "--name A", repeatable, in order.
  std::vector<std::string> Values(const std::string& name) {
    std::vector<std::string> values;
    for (auto it = std::find(args_.begin(), args_.end(), name); it != args_.end();
         it = std::find(args_.begin(), args_.end(), name)) {
      if (it + 1 == args_.end()) {
        Fail(name + " needs a value");
        args_.erase(it);
        break;
      }
      values.push_back(*(it + 1));
      args_.erase(it, it + 2);
    }
    return values;
  }

  // "--name A B", repeatable, in order.
  std::vector<std::pair<std::string, std::string>> Pairs(const std::string& name) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (auto it = std::find(args_.begin(), args_.end(), name); it != args_.end();
         it = std::find(args_.begin(), args_.end(), name)) {
      if (args_.end() - it < 3) {
        Fail(name + " needs a name and a value");
        args_.erase(it, args_.end());
        break;
      }
      pairs.emplace_back(*(it + 1), *(it + 2));
      args_.erase(it, it + 3);
    }
    return pairs;
  }

  void Fail(const std::string& message) {
    if (error.empty()) error = message;
  }

  bool Finish() {
    if (!args_.empty()) Fail("unexpected argument: " + args_.front());
    return error.empty();
  }

 private:
  std::vector<std::string> args_;
};

std::optional<int> ParseInt(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const int value = std::stoi(text);
  if (value < low || value > high) return std::nullopt;
  return value;
}

void ParseServe(Arguments& a, ParsedCommand& cmd) {
  ServeOptions& o = cmd.serve;
  o.server.host = a.Value("--host").value_or("127.0.0.1");
  const std::string port = a.Value("--port").value_or("8080");
  if (auto p = ParseInt(port, 0, 65535)) {
    o.server.port = *p;
  } else {
    a.Fail("--port must be 0 to 65535");
  }
  o.server.catalogPath = a.Required("--catalog");
  o.db = a.Required("--db");
  o.server.packagesDir = a.Required("--packages");
  o.server.updatePath = a.Value("--path").value_or(kDefaultUpdatePath);
  if (o.server.updatePath.empty() || o.server.updatePath[0] != '/') a.Fail("--path must begin with /");
  if (auto threads = a.Value("--threads")) {
    auto n = ParseInt(*threads, 1, 256);
    if (!n) a.Fail("--threads must be 1 to 256");
    o.server.threads = n.value_or(0);
  }
  o.signingKeys = a.Values("--signing-key");
  o.server.testControl = a.Switch("--test-control");
  o.server.logRequests = !a.Switch("--quiet");
}

void ParseKeygen(Arguments& a, ParsedCommand& cmd) {
  cmd.keygen.outDir = a.Required("--out");
  if (a.Switch("--rsa")) cmd.keygen.kind = KeyKind::kRsa3072;
}

void ParseReport(Arguments& a, ParsedCommand& cmd) {
  ReportOptions& o = cmd.report;
  o.db = a.Required("--db");
  o.htmlPath = a.Value("--html").value_or("");
  if (auto days = a.Value("--days")) {
    auto n = ParseInt(*days, 1, 36500);
    if (!n) a.Fail("--days must be 1 to 36500");
    o.days = n.value_or(90);
  }
}

void ParsePrune(Arguments& a, ParsedCommand& cmd) {
  cmd.prune.db = a.Required("--db");
  const std::string days = a.Required("--older-than");
  auto n = ParseInt(days, 1, 36500);
  if (!n && !days.empty()) a.Fail("--older-than must be a number of days, 1 to 36500");
  cmd.prune.olderThanDays = n.value_or(0);
}

void ParsePolicy(Arguments& a, PublishOptions& o, const std::string& name, const std::string& value) {
  if (name == "want-full-profile") {
    if (value != "on" && value != "off") a.Fail("want-full-profile must be on or off");
    o.setWantFullProfile = true;
    o.policyChanges.wantFullProfile = value == "on";
  } else if (name == "full-profile-every-days") {
    auto days = ParseInt(value, 0, 36500);
    if (!days) a.Fail("full-profile-every-days must be a number of days (0 switches it off)");
    o.setFullProfileEveryDays = true;
    o.policyChanges.fullProfileEveryDays = days.value_or(0);
  } else if (name == "update-url") {
    if (std::string problem = CheckUpdateUrl(value); !problem.empty()) a.Fail(problem);
    o.setUpdateUrl = true;
    o.policyChanges.updateUrl = value;
  } else {
    a.Fail("unknown policy: " + name);
  }
}

void ParsePublish(Arguments& a, ParsedCommand& cmd) {
  PublishOptions& o = cmd.publish;
  o.catalogPath = a.Required("--catalog");
  o.version = a.Value("--version");
  auto package = a.Value("--package");
  auto url = a.Value("--url");
  auto reinstall = a.Value("--reinstall");
  o.latest = a.Switch("--latest");
  o.lowercaseMd5 = a.Switch("--lowercase-md5");
  for (const auto& [name, value] : a.Pairs("--policy")) ParsePolicy(a, o, name, value);

  if (o.version) {
    if (!IsVersionText(*o.version)) a.Fail("--version must be dotted decimal numbers, e.g. 2.1.0");
    if (!package) a.Fail("--package is required with --version");
    if (!url) a.Fail("--url is required with --version");
    o.packagePath = package.value_or("");
    o.url = url.value_or("");
    if (reinstall && *reinstall != "0" && *reinstall != "1") a.Fail("--reinstall must be 0 or 1");
    o.reinstall = reinstall == "1";
  } else {
    if (package || url || reinstall || o.latest || o.lowercaseMd5)
      a.Fail("--version is required to publish a package");
    if (!o.setWantFullProfile && !o.setFullProfileEveryDays && !o.setUpdateUrl) {
      a.Fail("nothing to publish: give --version or --policy");
    }
  }
}

}  // namespace

ParsedCommand ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommand cmd;
  if (args.empty()) {
    cmd.error = "no command";
    return cmd;
  }
  const std::string& verb = args.front();
  if (verb == "help" || verb == "--help" || verb == "-h") {
    cmd.kind = ParsedCommand::kHelp;
    return cmd;
  }
  Arguments a(std::vector<std::string>(args.begin() + 1, args.end()));
  if (verb == "serve") {
    cmd.kind = ParsedCommand::kServe;
    ParseServe(a, cmd);
  } else if (verb == "publish") {
    cmd.kind = ParsedCommand::kPublish;
    ParsePublish(a, cmd);
  } else if (verb == "report") {
    cmd.kind = ParsedCommand::kReport;
    ParseReport(a, cmd);
  } else if (verb == "prune") {
    cmd.kind = ParsedCommand::kPrune;
    ParsePrune(a, cmd);
  } else if (verb == "keygen") {
    cmd.kind = ParsedCommand::kKeygen;
    ParseKeygen(a, cmd);
  } else {
    a.Fail("unknown command: " + verb);
  }
  if (!a.Finish()) {
    cmd.kind = ParsedCommand::kError;
    cmd.error = a.error;
  }
  return cmd;
}

}  // namespace zel::svc
