#include "Commands.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "KeyFiles.h"
#include "PackageFile.h"
#include "PostgresStore.h"
#include "Report.h"

namespace zel::svc {
namespace {

// The check-in store, or null after telling why on err. Only serve creates a missing
// SQLite file; for the others a missing one is a mistyped name.
std::unique_ptr<CheckinStore> OpenStore(const std::string& where, CheckinStore::Access access, bool create,
                                        std::ostream& err) {
  if (IsPostgresAddress(where) && ConninfoHasPassword(where)) {
    // Every local user can read a process's command line.
    err << "--db carries a password, which any user of this machine could read: put it in the password "
           "file (~/.pgpass, or PGPASSFILE) or in PGPASSWORD, and leave it out of --db\n";
    return nullptr;
  }
  std::error_code ec;
  if (!create && !IsPostgresAddress(where) && !std::filesystem::exists(where, ec)) {
    err << "no check-in store at " << where << "\n";
    return nullptr;
  }
  std::string error;
  auto store = OpenCheckinStore(where, access, error);
  if (!store) err << error << "\n";
  return store;
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// Every connection needs a descriptor; the soft limit is raised to the hard one.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// The keys of the files given, or null after telling why on err.
std::shared_ptr<const KeyRing> LoadKeys(const std::vector<std::string>& files, std::ostream& err) {
  auto keys = std::make_shared<KeyRing>();
  for (const std::string& file : files) {
    std::string error;
    auto key = LoadKeyFile(file, error);
    if (!key || !keys->Add(key, error)) {
      err << error << "\n";
      return nullptr;
    }
    err << "signing key " << key->Id() << " (" << KeyKindName(key->Kind()) << ") from " << file << "\n";
  }
  return keys;
}

}  // namespace

int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  ServerConfig config = options.server;
  config.keys = LoadKeys(options.signingKeys, err);
  if (!config.keys) return 1;
  std::error_code ec;
  if (!std::filesystem::is_directory(options.server.packagesDir, ec)) {
    err << "packages folder not found: " << options.server.packagesDir << "\n";
    return 1;
  }
  auto store = OpenStore(options.db, CheckinStore::Access::kReadWrite, true, err);
  if (!store) return 1;
  RaiseDescriptorLimit();

  // Termination signals are taken by one waiting thread, which stops the server;
  // blocked here, before the server starts its threads, they reach no other thread.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  UpdateServer server(std::move(config), *store);
  std::string error;
  const auto port = server.Bind(error);
  if (!port) {
    err << error << "\n";
    return 1;
  }
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    server.Stop();
  });

  out << "listening on " << options.server.host << ":" << *port << std::endl;
  if (server.AdminPort() > 0) {
    Log(LogLevel::kInfo, "admin listener (/healthz, /metrics) on " + options.server.adminHost + ":" +
                             std::to_string(server.AdminPort()));
  }
  const bool served = server.Run();
  // Wakes the waiter when the server ended for another reason.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  FlushLog();
  if (!served) {
    err << "the server failed\n";
    return 1;
  }
  return 0;
}

// The last path segment of an address, without its query or fragment.
std::string UrlFileName(const std::string& url) {
  const std::string path = url.substr(0, url.find_first_of("?#"));
  return path.substr(path.rfind('/') + 1);
}

bool SameBytes(const PackageEntry& a, const PackageEntry& b) {
  const auto upper = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
  };
  if (!a.sha256.empty() && !b.sha256.empty()) return a.sha256 == b.sha256;
  return a.size == b.size && upper(a.md5) == upper(b.md5);
}

int RunPublish(const PublishOptions& options, std::ostream& out, std::ostream& err) {
  if (options.version) {
    if (std::string problem = CheckPackageUrl(options.url); !problem.empty()) {
      err << problem << "\n";
      return 1;
    }
    // A mistyped address, or the address of another package, would send clients
    // bytes that fail their check.
    const std::string file = std::filesystem::path(options.packagePath).filename().string();
    if (UrlFileName(options.url) != file) {
      err << "the package url must end in the package's file name " << file << ": " << options.url << "\n";
      return 1;
    }
  }
  // Read, change and write under the lock, so concurrent publishes all count.
  CatalogLock lock(options.catalogPath);
  if (!lock.Held()) {
    err << "cannot lock " << options.catalogPath << ".lock\n";
    return 1;
  }
  std::string error;
  bool missing = false;
  auto catalog = LoadCatalog(options.catalogPath, error, &missing);
  if (!catalog && missing) catalog = Catalog{};  // the first publish creates it
  if (!catalog) {
    err << error << "\n";
    return 1;
  }
  if (options.version) {
    auto facts = DescribePackage(options.packagePath);
    if (!facts) {
      err << "cannot read the package " << options.packagePath << "\n";
      return 1;
    }
    PackageEntry entry;
    entry.version = *options.version;
    entry.url = options.url;
    entry.size = facts->size;
    entry.md5 = facts->md5;
    entry.sha256 = facts->sha256;
    if (options.lowercaseMd5) {
      std::transform(entry.md5.begin(), entry.md5.end(), entry.md5.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    entry.reinstall = options.reinstall;
    entry.published = IsoUtc(Now());
    if (error = CheckPackageEntry(entry); !error.empty()) {
      err << error << "\n";
      return 1;
    }
    if (const PackageEntry* existing = catalog->Find(entry.version);
        existing && !SameBytes(*existing, entry) && !options.replace) {
      // Clients that fetched the old bytes of this version would keep them.
      err << "version " << existing->version << " is published with other bytes (md5 " << existing->md5
          << "); give --replace to publish these instead\n";
      return 1;
    }
    PublishEntry(*catalog, entry, options.latest);
    out << "published " << entry.version << " (" << entry.size << " bytes, md5 " << entry.md5 << ", sha256 "
        << entry.sha256 << ")" << (catalog->latest == entry.version ? " as the latest" : "") << "\n";
  }
  if (options.setWantFullProfile) catalog->policy.wantFullProfile = options.policyChanges.wantFullProfile;
  if (options.setFullProfileEveryDays) {
    catalog->policy.fullProfileEveryDays = options.policyChanges.fullProfileEveryDays;
  }
  if (options.setUpdateUrl) catalog->policy.updateUrl = options.policyChanges.updateUrl;
  if (!SaveCatalog(options.catalogPath, *catalog, error)) {
    err << error << "\n";
    return 1;
  }
  return 0;
}

int RunReport(const ReportOptions& options, std::ostream& out, std::ostream& err) {
  auto store = OpenStore(options.db, CheckinStore::Access::kReadOnly, false, err);
  if (!store) return 1;
  ReportData data;
  const std::int64_t now = Now();
  if (std::string error = LoadReport(*store, options.days, now, data); !error.empty()) {
    err << error << "\n";
    return 1;
  }
  if (options.htmlPath.empty()) {
    WriteTextReport(data, out);
    return 0;
  }
  std::ofstream page(options.htmlPath, std::ios::binary | std::ios::trunc);
  page << HtmlReport(data, "Update service report", now);
  page.close();
  if (!page) {
    err << "cannot write " << options.htmlPath << "\n";
    return 1;
  }
  out << "wrote " << options.htmlPath << "\n";
  return 0;
}

int RunPrune(const PruneOptions& options, std::ostream& out, std::ostream& err) {
  auto store = OpenStore(options.db, CheckinStore::Access::kReadWrite, false, err);
  if (!store) return 1;
  std::int64_t removed = 0;
  if (std::string error = store->Prune(Now() - std::int64_t{options.olderThanDays} * 86400, kPruneBatchRows, removed);
      !error.empty()) {
    err << error << "\n";
    return 1;
  }
  out << "removed " << removed << " check-ins older than " << options.olderThanDays << " days\n";
  return 0;
}

int RunMigrate(const MigrateOptions& options, std::ostream& out, std::ostream& err) {
  // Opening for writing brings the schema to this build's version.
  if (!OpenStore(options.db, CheckinStore::Access::kReadWrite, false, err)) return 1;
  out << "check-in store at schema version " << kSchemaVersion << "\n";
  return 0;
}

int RunKeygen(const KeygenOptions& options, std::ostream& out, std::ostream& err) {
  std::string error;
  auto key = SigningKey::Generate(options.kind, error);
  if (!key || !WriteKeyFiles(*key, options.outDir, error)) {
    err << error << "\n";
    return 1;
  }
  out << key->Id() << "\n";
  return 0;
}

}  // namespace zel::svc
