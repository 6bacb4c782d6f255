// The catalog in service: loaded once at start, then reloaded when its file
// changes (checked a few times a second, never per query). A file that goes
// missing or turns invalid leaves the last good catalog in service and is reported
// once, until a valid one appears again.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Catalog.h"

namespace zel::svc {

class CatalogWatch {
 public:
  // Starts watching; catalog is the one loaded at start. The file may have changed
  // since it was read, so the first check reads it again whatever its stamp.
  CatalogWatch(std::string path, Catalog catalog, std::chrono::milliseconds interval);
  ~CatalogWatch();
  CatalogWatch(const CatalogWatch&) = delete;
  CatalogWatch& operator=(const CatalogWatch&) = delete;

  std::shared_ptr<const Catalog> Current() const;
  // What is wrong with the file now; empty while it is the catalog in service.
  std::string Fault() const;
  // Looks at the file now (the watching thread does this on its own).
  void Check();

 private:
  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileStamp& o) const {
      return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
             modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
  };
  FileStamp Stamp() const;

  const std::string path_;
  mutable std::mutex mutex_;
  std::shared_ptr<const Catalog> current_;
  FileStamp seen_;  // of the file last read; none at first
  std::string fault_;  // what is wrong with the file now, empty when it is in service

  std::mutex stopMutex_;
  std::condition_variable stopCv_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zel::svc
