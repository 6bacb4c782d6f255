// zelupdate-service: the reference update service (serve, publish, report, prune, migrate, keygen).
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"

int main(int argc, char** argv) {
  using zel::svc::ParsedCommand;
  const ParsedCommand cmd = zel::svc::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (cmd.kind) {
    case ParsedCommand::kHelp:
      std::cout << zel::svc::kUsage;
      return 0;
    case ParsedCommand::kServe:
      return zel::svc::RunServe(cmd.serve, std::cout, std::cerr);
    case ParsedCommand::kPublish:
      return zel::svc::RunPublish(cmd.publish, std::cout, std::cerr);
    case ParsedCommand::kReport:
      return zel::svc::RunReport(cmd.report, std::cout, std::cerr);
    case ParsedCommand::kPrune:
      return zel::svc::RunPrune(cmd.prune, std::cout, std::cerr);
    case ParsedCommand::kMigrate:
      return zel::svc::RunMigrate(cmd.migrate, std::cout, std::cerr);
    case ParsedCommand::kKeygen:
      return zel::svc::RunKeygen(cmd.keygen, std::cout, std::cerr);
    case ParsedCommand::kError:
      break;
  }
  std::cerr << "zelupdate-service: " << cmd.error << "\n" << zel::svc::kUsage;
  return 2;
}
