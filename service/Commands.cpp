#include "Commands.h"

#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <thread>

#include "PackageFile.h"

namespace zel::svc {
namespace {

// The check-in store, or null after telling why on err.
std::unique_ptr<CheckinStore> OpenStore(const std::string& path, std::ostream& err) {
  std::string error;
  auto store = CheckinStore::Open(path, error);
  if (!store) err << error << "\n";
  return store;
}

}  // namespace

int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_directory(options.server.packages_dir, ec)) {
    err << "packages folder not found: " << options.server.packages_dir << "\n";
    return 1;
  }
  auto store = OpenStore(options.db_path, err);
  if (!store) return 1;
  UpdateServer server(options.server, *store);
  std::string error;
  const auto port = server.Bind(error);
  if (!port) {
    err << error << "\n";
    return 1;
  }

  // Termination signals are taken by one waiting thread, which stops the server;
  // blocked here, before the server starts its workers, they reach no other thread.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    server.Stop();
  });

  out << "listening on " << options.server.host << ":" << *port << std::endl;
  const bool served = server.Run();
  // Wakes the waiter when the server ended for another reason.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (!served) {
    err << "the server failed\n";
    return 1;
  }
  return 0;
}

int RunPublish(const PublishOptions& options, std::ostream& out, std::ostream& err) {
  std::string error;
  auto catalog = LoadCatalog(options.catalog_path, error);
  if (!catalog) {
    err << error << "\n";
    return 1;
  }
  if (options.version) {
    auto facts = DescribePackage(options.package_path);
    if (!facts) {
      err << "cannot read the package " << options.package_path << "\n";
      return 1;
    }
    PackageEntry entry;
    entry.version = *options.version;
    entry.url = options.url;
    entry.size = facts->size;
    entry.md5 = facts->md5;
    if (options.lowercase_md5) {
      std::transform(entry.md5.begin(), entry.md5.end(), entry.md5.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    entry.reinstall = options.reinstall;
    entry.published = IsoUtc(static_cast<std::int64_t>(std::time(nullptr)));
    if (error = CheckPackageEntry(entry); !error.empty()) {
      err << error << "\n";
      return 1;
    }
    PublishEntry(*catalog, entry, options.latest);
    out << "published " << entry.version << " (" << entry.size << " bytes, md5 " << entry.md5 << ")"
        << (catalog->latest == entry.version ? " as the latest" : "") << "\n";
  }
  if (options.set_want_full_profile)
    catalog->policy.want_full_profile = options.policy_changes.want_full_profile;
  if (options.set_full_profile_every_days) {
    catalog->policy.full_profile_every_days = options.policy_changes.full_profile_every_days;
  }
  if (options.set_update_url) catalog->policy.update_url = options.policy_changes.update_url;
  if (!SaveCatalog(options.catalog_path, *catalog, error)) {
    err << error << "\n";
    return 1;
  }
  return 0;
}

int RunReport(const ReportOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::exists(options.db_path, ec)) {
    err << "no check-in store at " << options.db_path << "\n";
    return 1;
  }
  auto store = OpenStore(options.db_path, err);
  if (!store) return 1;
  const auto print = [&out](const char* title, const CountedValues& values) {
    out << title << "\n";
    for (const auto& [value, count] : values)
      out << "  " << (value.empty() ? "(empty)" : value) << "\t" << count << "\n";
  };
  out << "check-ins: " << store->CountCheckins() << "\n";
  print("installations by version:", store->InstallationsByVersion());
  print("installations by document program:", store->InstallationsByOfficeSuite());
  return 0;
}

}  // namespace zel::svc
