// zelupdateget.exe as the updater starts it, against the reference update service and
// nginx on loopback (both started by the test fixtures, which write their ports into
// ZEL_SERVICE_DIR/port and ZEL_NGINX_DIR/port).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "companion/DownloadRules.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
#include "support/VirtualPlatform.h"
#include "system/PathLib.h"
#include "system/Process_win.h"

namespace zel::companion {
namespace {

using Json = nlohmann::json;
using test::PackageBytes;
constexpr int kRunBoundMs = 60000;  // far beyond any run here; only a hang reaches it

class CompanionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The per-user folder as the updater passes it: no trailing backslash, and a name
    // that only the ANSI code page reaches.
    folder_ = scratch_.appData + "\\\u7528\u6237\\zelGuard";
    std::filesystem::create_directories(test::PathOf(folder_));
  }

  void ScriptPackageFaults(Json faults = Json::array()) {
    ASSERT_TRUE(servers_.ScriptPackageFaults(std::move(faults))) << "the update service does not answer";
  }
  // The Range header of every package request the service received, "" for none.
  std::vector<std::string> ServiceRanges() const {
    std::vector<std::string> ranges;
    for (const Json& request : servers_.Received()) {
      if (!request["target"].get<std::string>().starts_with("/packages/")) continue;
      ranges.emplace_back();
      for (const Json& header : request["headers"])
        if (header[0] == "Range") ranges.back() = header[1];
    }
    return ranges;
  }

  // Waits for nginx to log the answer to a request for uri, ended by the client.
  std::string NginxLogLine(const std::string& uri, const std::string& range) {
    for (int poll = 0; poll < 250; ++poll) {
      std::ifstream log(test::PathOf(servers_.NginxDir() + "/access.log"));
      for (std::string line; std::getline(log, line);)
        if (line.rfind(uri + " ", 0) == 0 && line.find("\"" + range + "\"") != std::string::npos) return line;
      Sleep(20);
    }
    return "no answer to " + uri + " with Range " + range + " logged";
  }

  std::string WriteTask(const std::string& url, std::size_t size, const std::string& md5) {
    const std::string task = scratch_.temp + "\\zqt1.tmp";
    EXPECT_TRUE(test::WriteBytes(task, TaskFileText({"2.1.0", url, static_cast<std::uint32_t>(size), md5})));
    return task;
  }
  std::string Md5(const std::string& bytes) { return test::Md5Of(bytes, scratch_.temp + "\\md5.bin"); }


  // Starts the companion as the updater does; with stopAt, ends it the moment its
  // partial file has grown to that size. The exit code, or -1 when it did not end.
  int Run(const std::string& task, std::int64_t stopAt = 0) {
    test::VirtualPlatform noStartPause;
    ProcessInfo process;
    if (!StartProcess(program_, "\"" + task + "\" \"" + folder_ + "\"", process)) return -1;
    if (stopAt > 0) {
      for (int poll = 0; poll < kRunBoundMs / 10 && PartialSize() < stopAt; ++poll)
        if (WaitForSingleObject(process.process.Get(), 10) == WAIT_OBJECT_0) break;
      TerminateProcess(process.process.Get(), 99);
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.process.Get(), kRunBoundMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.process.Get(), &code))
      return -1;
    return static_cast<int>(code);
  }
  static int Code(Exit exit) { return static_cast<int>(exit); }

  std::string Partial() const { return folder_ + "\\" + std::string(kPartialFileName); }
  std::string PartialRecord() const { return folder_ + "\\" + std::string(kPartialTaskFileName); }
  // Measured as the updater measures it, while the downloader holds the file open.
  std::int64_t PartialSize() const { return ClsPathLib().MyGetFileSize(Partial()); }
  std::vector<std::string> FolderContent() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::PathOf(folder_)))
      names.push_back(Narrow(entry.path().filename().wstring()));
    return names;
  }

  // Ends a download from nginx's route (slow for a request without range) once its
  // file has grown, runs it again to the end, and checks the status nginx logged for
  // the request of the second run, which asked for the rest.
  void KillAndRunAgain(const std::string& route, const std::string& name, unsigned seed, const std::string& status) {
    const std::string package = PackageBytes(4 * 1048576, seed);
    const std::string task = WriteTask(servers_.NginxPackage(route, name, package), package.size(), Md5(package));
    EXPECT_EQ(Run(task, 1), 99);
    const std::int64_t kept = PartialSize();
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, static_cast<std::int64_t>(package.size()));
    EXPECT_TRUE(test::PathExists(PartialRecord()));

    EXPECT_EQ(Run(task), Code(Exit::kDone));
    EXPECT_EQ(test::ReadBytes(Partial()), package);
    EXPECT_FALSE(test::PathExists(PartialRecord()));
    const std::string line = NginxLogLine(route + name, "bytes=" + std::to_string(kept) + "-");
    EXPECT_EQ(line.rfind(route + name + " " + status + " ", 0), 0u) << line;
  }

  test::ScratchFolders scratch_;
  test::LoopbackServers servers_{ZEL_SERVICE_DIR, ZEL_NGINX_DIR};
  const std::string program_ = test::BinDir() + "zelupdateget.exe";
  std::string folder_;
};

TEST_F(CompanionTest, NeverContinuesTheFileOfAnotherPackageAndLeavesOnlyThePackage) {
  const std::string old = PackageBytes(500000, 6), package = PackageBytes(500000, 7);
  ASSERT_TRUE(test::WriteBytes(Partial(), old.substr(0, 100000)));
  ASSERT_TRUE(test::WriteBytes(PartialRecord(), TaskFileText({"2.0", servers_.ServicePackage("old.exe", old), 500000,
                                                              Md5(old)})));
  ScriptPackageFaults();
  EXPECT_EQ(Run(WriteTask(servers_.ServicePackage("f.exe", package), package.size(), Md5(package))), Code(Exit::kDone));
  EXPECT_EQ(test::ReadBytes(Partial()), package);
  EXPECT_EQ(ServiceRanges(), std::vector<std::string>{""});

  // A complete file of an earlier, longer package is replaced, not written over; a
  // service may send the MD5 in lower case.
  const std::string shorter = PackageBytes(300000, 9);
  std::string md5 = Md5(shorter);
  for (char& c : md5) c = static_cast<char>(std::tolower(c));
  EXPECT_EQ(Run(WriteTask(servers_.ServicePackage("h.exe", shorter), shorter.size(), md5)), Code(Exit::kDone));
  EXPECT_EQ(test::ReadBytes(Partial()), shorter);
  EXPECT_EQ(FolderContent(), std::vector<std::string>{"zelupdatepkg.dwn"});
}

TEST_F(CompanionTest, ResumesAfterAKillWithARangeTheServerHonours) { KillAndRunAgain("/slow/", "c.exe", 3, "206"); }

TEST_F(CompanionTest, StartsOverWhenTheServerAnswersARangeWithTheWholeFile) {
  KillAndRunAgain("/norange/", "d.exe", 4, "200");
}

TEST_F(CompanionTest, ABrokenTransferIsResumedAndAChangedTotalStartsOver) {
  const std::string package = PackageBytes(600000, 5);
  // 200000 bytes under the whole file's length; then the service breaks the connection.
  const Json cut = {{"body", package.substr(0, 200000)},
                    {"headers", Json::array({Json::array({"Content-Length", "600000"})})}};
  // The rest, but of a file one byte longer than the task says.
  const Json otherTotal = {{"headers", Json::array({Json::array({"Content-Range", "bytes 200000-600000/600001"})})}};
  ScriptPackageFaults(Json::array({cut, otherTotal}));
  EXPECT_EQ(Run(WriteTask(servers_.ServicePackage("e.exe", package), package.size(), Md5(package))), Code(Exit::kDone));
  EXPECT_EQ(test::ReadBytes(Partial()), package);
  EXPECT_EQ(ServiceRanges(), (std::vector<std::string>{"", "bytes=200000-", ""}));
}

// A wrong size or MD5 deletes the output.
TEST_F(CompanionTest, FailuresEndWithTheirOwnExitCodes) {
  const std::string package = PackageBytes(300000, 8), md5(32, 'A');
  const std::string url = servers_.ServicePackage("g.exe", package);
  ScriptPackageFaults();
  EXPECT_EQ(Run(WriteTask(url, package.size(), md5)), Code(Exit::kWrongMd5));
  EXPECT_EQ(FolderContent(), std::vector<std::string>{});
  EXPECT_EQ(Run(WriteTask(url, package.size() - 1, Md5(package))), Code(Exit::kWrongSize));
  EXPECT_EQ(FolderContent(), std::vector<std::string>{});
  // Port 1 on the loopback: every connection is refused at once, on every try.
  EXPECT_EQ(Run(WriteTask("http://127.0.0.1:1/p.exe", 1000, md5)), Code(Exit::kNetwork));
  EXPECT_EQ(Run(WriteTask(servers_.ServiceBase() + "/packages/missing.exe", 1000, md5)), Code(Exit::kRefused));
  ASSERT_TRUE(test::WriteBytes(scratch_.temp + "\\bad.tmp", "2.1.0\r\nhttp://h/p\r\nmany\r\n" + md5 + "\r\n"));
  EXPECT_EQ(Run(scratch_.temp + "\\bad.tmp"), Code(Exit::kBadTask));
  EXPECT_EQ(Run(scratch_.temp + "\\missing.tmp"), Code(Exit::kBadTask));

  // Another downloader at work on the same folder.
  UniqueFile holder(CreateFileW(Widen(Partial()).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0,
                                nullptr));
  ASSERT_TRUE(holder);
  EXPECT_EQ(Run(WriteTask(servers_.ServiceBase() + "/packages/missing.exe", 1000, md5)), Code(Exit::kCannotWrite));
}

}  // namespace
}  // namespace zel::companion
