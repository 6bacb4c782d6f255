// The PostgreSQL backend of the check-in store, shared by the replicas of a fleet.
#pragma once

#include "CheckinStore.h"

namespace zel::svc {

std::unique_ptr<CheckinStore> OpenPostgresStore(const std::string& conninfo, CheckinStore::Access access,
                                                std::string& error);

}  // namespace zel::svc
