#include "CatalogWatch.h"

#include "AccessLog.h"

namespace zel::svc {

CatalogWatch::CatalogWatch(std::string path, Catalog catalog, std::chrono::milliseconds interval)
    : path_(std::move(path)), current_(std::make_shared<const Catalog>(std::move(catalog))) {
  thread_ = std::thread([this, interval] {
    std::unique_lock lock(stopMutex_);
    while (!stopCv_.wait_for(lock, interval, [this] { return stopping_; })) Check();
  });
}

CatalogWatch::~CatalogWatch() {
  {
    std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopCv_.notify_all();
  thread_.join();
}

std::shared_ptr<const Catalog> CatalogWatch::Current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

CatalogWatch::FileStamp CatalogWatch::Stamp() const {
  FileStamp stamp;
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0) {
    stamp = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }
  return stamp;
}

std::string CatalogWatch::Fault() const {
  std::lock_guard lock(mutex_);
  return fault_;
}

void CatalogWatch::Check() {
  const FileStamp stamp = Stamp();
  if (stamp == seen_) return;
  std::string error;
  auto catalog = LoadCatalog(path_, error);
  std::lock_guard lock(mutex_);
  seen_ = stamp;
  if (catalog) {
    current_ = std::make_shared<const Catalog>(std::move(*catalog));
    if (!fault_.empty()) Log(LogLevel::kInfo, "catalog " + EscapeForLog(path_) + " is valid again and in service");
    fault_.clear();
  } else if (error != fault_) {
    Log(LogLevel::kError, "CATALOG FAULT, the last good catalog stays in service: " + EscapeForLog(error));
    fault_ = error;
  }
}

}  // namespace zel::svc
