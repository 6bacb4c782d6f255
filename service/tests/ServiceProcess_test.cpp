// The service program as other tests start it: serve until signalled, then report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

using namespace std::chrono_literals;

// The child's exit code, or -1 when it did not end in time (it is killed then).
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  for (const auto deadline = std::chrono::steady_clock::now() + limit;
       std::chrono::steady_clock::now() < deadline;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(20ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

TEST(ServiceProcess, ServesOnAnyFreePortUntilSignalledAndExitsCleanly) {
  test::ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "packages");
  Catalog catalog;
  PublishEntry(catalog, {"3.0.0", "http://127.0.0.1/packages/p.exe", 5000, std::string(32, 'A'), false, ""},
               true);
  std::string error;
  ASSERT_TRUE(SaveCatalog(dir.File("catalog.json"), catalog, error)) << error;

  std::vector<std::string> args = {ZELSVC_BINARY, "serve",
                                   "--port",      "0",
                                   "--catalog",   dir.File("catalog.json"),
                                   "--db",        dir.File("checkins.db"),
                                   "--packages",  dir.File("packages"),
                                   "--quiet"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, ZELSVC_BINARY, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  ASSERT_EQ(spawned, 0);

  // The first line names the port, once the socket takes connections.
  std::string line;
  for (const auto deadline = std::chrono::steady_clock::now() + 20s;
       line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline;) {
    pollfd p{out[0], POLLIN, 0};
    char buffer[256];
    ssize_t n = 0;
    if (poll(&p, 1, 100) > 0 && (n = read(out[0], buffer, sizeof buffer)) <= 0) break;
    line.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  std::smatch m;
  const bool listening = std::regex_match(line, m, std::regex(R"(^listening on 127\.0\.0\.1:(\d+)\n$)"));
  EXPECT_TRUE(listening) << line;
  if (listening) {
    httplib::Client client("127.0.0.1", std::stoi(m[1]));
    client.set_read_timeout(10, 0);
    auto res = client.Post("/zelguard/update1", test::MakeBody(test::ShortQuery("2.0.0", "U-1"), true),
                           "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(nlohmann::json::parse(res->body)["data"]["action"], "33");
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10s), 0);

  std::ostringstream report, err;
  ASSERT_EQ(RunReport({dir.File("checkins.db")}, report, err), 0) << err.str();
  EXPECT_NE(report.str().find("check-ins: 1"), std::string::npos) << report.str();
}

}  // namespace
}  // namespace zel::svc
