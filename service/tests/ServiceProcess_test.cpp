// The service program as other tests start it: publish, serve, stop by signal, report.
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
#include <optional>
#include <regex>
#include <thread>

#include "TestSupport.h"

extern char** environ;

namespace zel::svc {
namespace {

using nlohmann::json;
using test::ScratchDir;

struct Child {
  pid_t pid = -1;
  int out = -1;  // read end of its stdout
};

Child Spawn(const std::vector<std::string>& args) {
  std::vector<std::string> argv_text = {ZELSVC_BINARY};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  Child child;
  if (posix_spawn(&child.pid, ZELSVC_BINARY, &actions, nullptr, argv.data(), environ) != 0) child.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  child.out = pipe_fds[0];
  return child;
}

// Reads the child's stdout until it ends or the time is up.
std::string ReadOutput(int fd, std::chrono::milliseconds limit, bool stop_at_newline) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (stop_at_newline && text.find('\n') != std::string::npos) break;
  }
  return text;
}

// The exit code, or no value when the child did not end in time (it is killed then).
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return std::nullopt;
}

int RunTool(const std::vector<std::string>& args, std::string* output = nullptr) {
  Child child = Spawn(args);
  EXPECT_GT(child.pid, 0);
  const std::string text = ReadOutput(child.out, std::chrono::seconds(20), false);
  close(child.out);
  if (output) *output = text;
  return WaitExit(child.pid, std::chrono::seconds(20)).value_or(-1);
}

TEST(ServiceProcess, PublishesServesUntilSignalledAndReports) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() / "packages");
  dir.Write("packages/zel-3.0.0.exe", std::string(5000, 'z'));
  const std::string catalog = dir.File("catalog.json");
  ASSERT_EQ(RunTool({"publish", "--catalog", catalog, "--version", "3.0.0", "--package",
                     dir.File("packages/zel-3.0.0.exe"), "--url", "http://127.0.0.1/packages/zel-3.0.0.exe",
                     "--latest"}),
            0);
  ASSERT_EQ(RunTool({"publish", "--catalog", catalog, "--policy", "want-full-profile", "on"}), 0);
  const json published = json::parse(test::ReadFile(catalog));
  EXPECT_EQ(published["latest"], "3.0.0");
  EXPECT_EQ(published["packages"][0]["size"], 5000);
  EXPECT_EQ(published["packages"][0]["md5"].get<std::string>().size(), 32u);
  EXPECT_EQ(published["policy"]["want_full_profile"], true);

  Child server = Spawn({"serve", "--host", "127.0.0.1", "--port", "0", "--catalog", catalog, "--db",
                        dir.File("checkins.db"), "--packages", (dir.path() / "packages").string(),
                        "--test-control", "--quiet"});
  ASSERT_GT(server.pid, 0);
  const std::string line = ReadOutput(server.out, std::chrono::seconds(20), true);
  std::smatch m;
  const std::regex listening(R"(^listening on 127\.0\.0\.1:(\d+)\n$)");
  ASSERT_TRUE(std::regex_match(line, m, listening)) << line;
  const int port = std::stoi(m[1]);
  ASSERT_GT(port, 0);

  httplib::Client client("127.0.0.1", port);
  auto res = client.Post("/zelguard/update1", test::MakeBody(test::ShortQuery("2.0.0", "U-1"), false),
                         "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "32");
  res = client.Post("/zelguard/update1", test::MakeBody(test::FullQuery("2.0.0", "U-1", "excel", "16"), true),
                    "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body)["data"]["action"], "33");
  res = client.Get("/_test/requests");
  ASSERT_TRUE(res);
  EXPECT_EQ(json::parse(res->body).size(), 2u);

  kill(server.pid, SIGTERM);
  EXPECT_EQ(WaitExit(server.pid, std::chrono::seconds(10)), std::optional<int>(0));
  close(server.out);

  std::string report;
  ASSERT_EQ(RunTool({"report", "--db", dir.File("checkins.db")}, &report), 0);
  EXPECT_NE(report.find("check-ins: 2"), std::string::npos) << report;
  EXPECT_NE(report.find("2.0.0\t1"), std::string::npos) << report;
  EXPECT_NE(report.find("excel 16\t1"), std::string::npos) << report;
}

TEST(ServiceProcess, ExitsWith2OnBadCommandLinesAnd1OnUnusableFiles) {
  ScratchDir dir;
  EXPECT_EQ(RunTool({"serve", "--catalog", "c.json"}), 2);
  dir.Write("broken.json", "[1,2");
  EXPECT_EQ(RunTool({"serve", "--port", "0", "--catalog", dir.File("broken.json"), "--db", dir.File("c.db"),
                     "--packages", dir.path().string()}),
            1);
  dir.Write("empty.exe", "");
  EXPECT_EQ(RunTool({"publish", "--catalog", dir.File("c.json"), "--version", "1.0.0", "--package",
                     dir.File("empty.exe"), "--url", "http://x/p.exe"}),
            1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.json")));
}

}  // namespace
}  // namespace zel::svc
