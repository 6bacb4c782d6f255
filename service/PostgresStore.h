// The PostgreSQL backend of the check-in store, shared by the replicas of a fleet.
#pragma once

#include <string_view>

#include "CheckinStore.h"

namespace zel::svc {

// True when the connection string or URI carries a password.
bool ConninfoHasPassword(const std::string& conninfo);

// True when a PostgreSQL error code says the connection cannot be used again: gone
// (class 08, the server shutting down) or read-only (a standby after a failover).
bool ConnectionUnusable(std::string_view sqlState);

std::unique_ptr<CheckinStore> OpenPostgresStore(const std::string& conninfo, CheckinStore::Access access,
                                                std::string& error);

}  // namespace zel::svc
