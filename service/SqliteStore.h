// The SQLite backend of the check-in store: one file, written by one process.
#pragma once

#include "CheckinStore.h"

namespace zel::svc {

std::unique_ptr<CheckinStore> OpenSqliteStore(const std::string& path, CheckinStore::Access access,
                                              std::string& error);

}  // namespace zel::svc
