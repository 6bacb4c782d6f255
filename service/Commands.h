// The commands of the service program; each returns the process exit code
// (0 done, 1 failed, 2 bad command line).
#pragma once

#include <iosfwd>

#include "CommandLine.h"

namespace zel::svc {

// Serves until SIGTERM or SIGINT. Prints "listening on HOST:PORT" once ready.
int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err);
int RunPublish(const PublishOptions& options, std::ostream& out, std::ostream& err);
int RunReport(const ReportOptions& options, std::ostream& out, std::ostream& err);
int RunPrune(const PruneOptions& options, std::ostream& out, std::ostream& err);
// Creates the store's schema or brings it to this build's version.
int RunMigrate(const MigrateOptions& options, std::ostream& out, std::ostream& err);
// Writes a new key pair into the folder and prints its key id.
int RunKeygen(const KeygenOptions& options, std::ostream& out, std::ostream& err);

}  // namespace zel::svc
