// Processes a test starts and always ends: the service program, nginx and a
// throwaway PostgreSQL cluster.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace zel::svc::test {

class ChildProcess {
 public:
  // Starts the program with its stdout on a pipe (read by ListeningPort) and its
  // stderr in the file given (or inherited).
  bool Start(const std::vector<std::string>& args, const std::string& errFile = "") {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!errFile.empty()) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const bool started = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
    if (!started) pid_ = -1;
    return started;
  }
  ~ChildProcess() {
    Stop(SIGKILL);
    if (out_ >= 0) close(out_);
  }

  // The port of the first line "listening on HOST:PORT", or 0 after the time given.
  int ListeningPort(int timeoutMs = 20000) {
    char line[256] = {};
    pollfd ready{out_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0 || read(out_, line, sizeof line - 1) <= 0) return 0;
    std::cmatch m;
    return std::regex_search(line, m, std::regex(R"(listening on [^:]+:(\d+))")) ? std::stoi(m[1]) : 0;
  }

  // Signals the process and waits up to 10 s for its exit status (-1: none).
  int Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return status_;
    kill(pid_, signal);
    if (!Eventually([&] { return waitpid(pid_, &status_, WNOHANG) != 0; }, std::chrono::seconds(10)))
      kill(pid_, SIGKILL), waitpid(pid_, &status_, 0);
    pid_ = -1;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
};

// A PostgreSQL cluster of the test's own, on a socket in a scratch folder; each
// Database() is a new, empty database in it.
class PostgresCluster {
 public:
  ~PostgresCluster() { Run("stop"); }
  void Stop() { Run("stop"); }
  bool Restart() { return !Run("restart").empty(); }

  // The connection string of a new database.
  std::string Database() {
    EXPECT_FALSE(conninfo_.empty()) << "no PostgreSQL cluster";
    const std::string name = "zel" + std::to_string(++databases_);
    const std::string command = "psql -q -X '" + conninfo_ + "' -c 'CREATE DATABASE " + name + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return std::regex_replace(conninfo_, std::regex("dbname=\\w+"), "dbname=" + name);
  }

 private:
  std::string Run(const std::string& verb) {
    std::string out =
        CommandOutput("sh " ZELSVC_TEST_DIR "/pg-cluster.sh " + verb + " " + dir_.path.string());
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  const ScratchDir dir_;
  const std::string conninfo_ = Run("start");
  int databases_ = 0;
};

// The cluster of this test process, started on first use and removed at exit.
inline PostgresCluster& SharedCluster() {
  static PostgresCluster cluster;
  return cluster;
}

}  // namespace zel::svc::test
