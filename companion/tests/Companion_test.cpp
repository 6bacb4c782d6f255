// zelupdateget.exe as the updater starts it, against the reference update service on
// loopback (started by the test fixture, which writes its port into ZEL_SERVICE_DIR/port).
#include <gtest/gtest.h>
#include <windows.h>

#include <nlohmann/json.hpp>

#include "companion/DownloadRules.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
#include "support/VirtualPlatform.h"
#include "system/PathLib.h"
#include "system/Process_win.h"
#include "system/Text.h"

namespace zel::companion {
namespace {

using Json = nlohmann::json;
using test::PackageBytes;
constexpr int kRunBoundMs = 60000;  // far beyond any run here; only a hang reaches it

class CompanionTest : public ::testing::Test {
 protected:
  CompanionTest() { std::filesystem::create_directories(test::PathOf(folder_)); }

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

  std::string WriteTask(const std::string& url, std::size_t size, const std::string& md5) {
    const std::string task = scratch_.temp + "\\zqt1.tmp";
    EXPECT_TRUE(test::WriteBytes(task, TaskFileText({"2.1.0", url, static_cast<std::uint32_t>(size), md5})));
    return task;
  }
  std::string Md5(const std::string& bytes) { return test::Md5Of(bytes, scratch_.temp + "\\md5.bin"); }

  // Starts the companion as the updater does; with stopAt, ends it the moment its
  // partial file has grown to that size (exit code 99). Exit{-1} when it did not end.
  Exit Run(const std::string& task, std::int64_t stopAt = 0) {
    test::VirtualPlatform noStartPause;
    ProcessInfo process;
    if (!StartProcess(program_, "\"" + task + "\" \"" + folder_ + "\"", process)) return Exit{-1};
    if (stopAt > 0) {
      for (int poll = 0; poll < kRunBoundMs / 10 && PartialSize() < stopAt; ++poll)
        if (WaitForSingleObject(process.process.Get(), 10) == WAIT_OBJECT_0) break;
      TerminateProcess(process.process.Get(), 99);
    }
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process.process.Get(), kRunBoundMs) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(process.process.Get(), &code) ? static_cast<Exit>(code) : Exit{-1};
  }

  std::string Partial() const { return folder_ + "\\" + std::string(kPartialFileName); }
  // Measured as the updater measures it, while the downloader holds the file open.
  std::int64_t PartialSize() const { return ClsPathLib().MyGetFileSize(Partial()); }
  std::ptrdiff_t FilesInFolder() const {
    return std::distance(std::filesystem::directory_iterator(test::PathOf(folder_)), {});
  }

  test::ScratchFolders scratch_;
  test::LoopbackServers servers_{ZEL_SERVICE_DIR};
  const std::string program_ = GetAppDir() + "zelupdateget.exe";
  // The per-user folder as the updater passes it: no trailing backslash, and a name
  // that only the ANSI code page reaches.
  const std::string folder_ = scratch_.appData + "\\\u7528\u6237\\zelGuard";
};

TEST_F(CompanionTest, NeverContinuesTheFileOfAnotherPackageAndLeavesOnlyThePackage) {
  const std::string old = PackageBytes(500000, 6), package = PackageBytes(500000, 7);
  ASSERT_TRUE(test::WriteBytes(Partial(), old.substr(0, 100000)));
  ASSERT_TRUE(
      test::WriteBytes(folder_ + "\\" + std::string(kPartialTaskFileName),
                       TaskFileText({"2.0", servers_.ServicePackage("old.exe", old), 500000, Md5(old)})));
  ASSERT_TRUE(servers_.ScriptPackageFaults());
  EXPECT_EQ(Run(WriteTask(servers_.ServicePackage("f.exe", package), 500000, Md5(package))), Exit::kDone);
  EXPECT_EQ(ServiceRanges(), std::vector<std::string>{""});

  // A complete file of an earlier, longer package is replaced, not written over; a
  // service may send the MD5 in lower case.
  const std::string shorter = PackageBytes(300000, 9);
  const std::string url = servers_.ServicePackage("h.exe", shorter);
  EXPECT_EQ(Run(WriteTask(url, shorter.size(), AsciiLower(Md5(shorter)))), Exit::kDone);
  EXPECT_EQ(FilesInFolder(), 1);
}

// A transfer broken off is resumed from what it kept: by the same run, or after a kill
// in the pause before the next try, by the next run. The server may answer the resume
// with the rest, with the whole file, or with the rest of a file of another length
// (then the download starts over).
TEST_F(CompanionTest, ABrokenTransferIsResumedByTheSameOrTheNextRun) {
  const std::string package = PackageBytes(600000, 5);
  const std::string task = WriteTask(servers_.ServicePackage("e.exe", package), 600000, Md5(package));
  // 200000 bytes under the whole file's length; then the service breaks the connection.
  const Json cut = {{"body", package.substr(0, 200000)},
                    {"headers", Json::array({Json::array({"Content-Length", "600000"})})}};
  const Json otherTotal = {
      {"headers", Json::array({Json::array({"Content-Range", "bytes 200000-600000/600001"})})}};
  const Json drop = {{"drop", true}}, asIs = Json::object(), whole = {{"body", package}};
  // The resume, by a run killed before or not, the faults of the run to the end, and
  // its requests' ranges.
  const std::tuple<const char*, bool, Json, std::vector<std::string>> rows[] = {
      {"same run", false, Json::array({cut, otherTotal}), {"", "bytes=200000-", ""}},
      {"next run, the rest", true, Json::array({asIs}), {"bytes=200000-"}},
      {"next run, the whole file", true, Json::array({whole}), {"bytes=200000-"}},
  };
  for (const auto& [resume, killed, faults, ranges] : rows) {
    SCOPED_TRACE(resume);
    if (killed) {
      std::filesystem::remove(test::PathOf(Partial()));  // the last row's complete file
      ASSERT_TRUE(servers_.ScriptPackageFaults(Json::array({cut, drop, drop})));
      EXPECT_EQ(Run(task, 200000), Exit{99});
    }
    ASSERT_TRUE(servers_.ScriptPackageFaults(faults));
    EXPECT_EQ(Run(task), Exit::kDone);
    EXPECT_EQ(ServiceRanges(), ranges);
  }
}

// A wrong size or MD5 deletes the output.
TEST_F(CompanionTest, FailuresEndWithTheirOwnExitCodes) {
  const std::string package = PackageBytes(300000, 8), md5(32, 'A');
  const std::string url = servers_.ServicePackage("g.exe", package);
  ASSERT_TRUE(servers_.ScriptPackageFaults());
  EXPECT_EQ(Run(WriteTask(url, package.size(), md5)), Exit::kWrongMd5);
  EXPECT_EQ(FilesInFolder(), 0);
  EXPECT_EQ(Run(WriteTask(url, package.size() - 1, Md5(package))), Exit::kWrongSize);
  EXPECT_EQ(FilesInFolder(), 0);
  // Port 1 on the loopback: every connection is refused at once, on every try.
  EXPECT_EQ(Run(WriteTask("http://127.0.0.1:1/p.exe", 1000, md5)), Exit::kNetwork);
  EXPECT_EQ(Run(WriteTask(servers_.ServiceBase() + "/packages/missing.exe", 1000, md5)), Exit::kRefused);
  ASSERT_TRUE(
      test::WriteBytes(scratch_.temp + "\\bad.tmp", "2.1.0\r\nhttp://h/p\r\nmany\r\n" + md5 + "\r\n"));
  EXPECT_EQ(Run(scratch_.temp + "\\bad.tmp"), Exit::kBadTask);

  // Another downloader at work on the same folder.
  UniqueFile holder(CreateFileW(Widen(Partial()).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, 0, nullptr));
  ASSERT_TRUE(holder);
  EXPECT_EQ(Run(WriteTask(servers_.ServiceBase() + "/packages/missing.exe", 1000, md5)), Exit::kCannotWrite);
}

}  // namespace
}  // namespace zel::companion
