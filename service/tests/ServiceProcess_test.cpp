// The service program as other tests start it: serve until signalled, then report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "Commands.h"
#include "TestSupport.h"

extern char** environ;

namespace zel::svc {
namespace {

TEST(ServiceProcess, ServesOnAnyFreePortUntilSignalledAndExitsCleanly) {
  test::ScratchDir dir;
  const std::string db = dir.File("c.db"), catalog = dir.Write("c.json", R"({"latest":"","packages":[]})");
  const char* argv[] = {ZELSVC_BINARY, "serve",          "--port",  "0",
                        "--catalog",   catalog.c_str(),  "--db",    db.c_str(),
                        "--packages",  dir.path.c_str(), "--quiet", nullptr};
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, ZELSVC_BINARY, &actions, nullptr, const_cast<char* const*>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);

  // The first line, written in one piece once the socket takes connections, names the port.
  char line[128] = {};
  pollfd ready{out[0], POLLIN, 0};
  const bool got = poll(&ready, 1, 20000) > 0 && read(out[0], line, sizeof line - 1) > 0;
  std::cmatch m;
  if (got && std::regex_match(line, m, std::regex(R"(listening on 127\.0\.0\.1:(\d+)\n)"))) {
    httplib::Client client("127.0.0.1", std::stoi(m[1]));
    client.set_read_timeout(10, 0);
    auto res = client.Post("/zelguard/update1", test::MakeBody(test::ShortQuery("2.0.0", "U-1"), true),
                           "application/x-www-form-urlencoded");
    EXPECT_EQ(res ? nlohmann::json::parse(res->body)["data"]["action"] : nullptr, "31");
  } else {
    ADD_FAILURE() << "first line: " << line;
  }

  kill(pid, SIGTERM);
  int status = -1;
  for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (status == -1) {  // still running after 10 s
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  close(out[0]);  // only now: a write after the first line must not meet a closed pipe
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  std::ostringstream report, err;
  ASSERT_EQ(RunReport({.db = db, .htmlPath = "", .days = 90}, report, err), 0) << err.str();
  EXPECT_NE(report.str().find("check-ins: 1"), std::string::npos) << report.str();
}

}  // namespace
}  // namespace zel::svc
