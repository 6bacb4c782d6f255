// The three download routes under Wine against real servers on loopback: the
// reference update service (scripted faults) and nginx (a real web server's ranges;
// /slow/ sends a request without a Range header at 1 MiB/s, /norange/ answers every
// request with the whole file, /moved/ redirects to /). The fixtures write the
// servers' ports into ZEL_SERVICE_DIR/port and ZEL_NGINX_DIR/port.
#include <gtest/gtest.h>
#include <urlmon.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "protocol/PackageDownload.h"
#include "support/CmdlineEcho.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
#include "support/RequestCatcher_win.h"
#include "support/ScratchFolders_win.h"
#include "system/FileListing.h"
#include "system/Folders.h"

namespace zel {
namespace {

using Json = nlohmann::json;
using Texts = std::vector<std::string>;
using test::PackageBytes;

class RecordingSink : public ProgressSink {
 public:
  void SetStatus(const std::string& text) override {
    texts.push_back(text);
    if (onStatus) onStatus();
  }
  Texts texts;
  std::function<void()> onStatus;
};

// Ends every companion started from beside this test program.
void KillCompanions() { test::KillImage(GetAppDir() + kCompanionName); }

class DownloadRoutesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(servers_.Service().Reset()) << "the update service does not answer";
    std::filesystem::create_directories(test::PathOf(GetUserDataDir()));
    PlaceCompanion(ZEL_COMPANION_EXE);
  }
  void TearDown() override { KillCompanions(); }

  // Puts a program beside the test program as zelupdateget.exe ("" removes it).
  void PlaceCompanion(const std::string& program) {
    const std::string companion = GetAppDir() + kCompanionName;
    DeleteFileW(Widen(companion).c_str());
    ASSERT_TRUE(program.empty() || CopyFileW(Widen(program).c_str(), Widen(companion).c_str(), FALSE));
  }

  std::string Target() const { return scratch_.root + "\\target.exe"; }
  std::string Partial() const { return GetUserDataDir() + "\\" + kPartialPackageName; }
  Texts TaskFiles() const { return ListNormalFiles(GetUpdateTempDir() + "*"); }

  bool Ranges(const std::string& url, std::int32_t size) {
    return HttpRangeDownload(url, size, Target(), kDownloadProgressFormat, sink_);
  }

  test::ScratchFolders scratch_;
  test::LoopbackServers servers_{ZEL_SERVICE_DIR, ZEL_NGINX_DIR};
  RecordingSink sink_;
};

// The walk of the ranges is the core's; here one real download of two pieces over an
// old target, through a redirect, and a whole answer from a server without ranges.
TEST_F(DownloadRoutesTest, RangeRouteFetchesFromTheServiceAndNginxAndLeavesNoTargetAfterAFailure) {
  const std::string a = PackageBytes(1500000, 1), b = PackageBytes(1048577, 2);
  ASSERT_TRUE(test::WriteBytes(Target(), std::string(4000000, 'x')));
  const std::string url = servers_.ServicePackage("a.exe", a);
  EXPECT_TRUE(Ranges(url, 1500000) && test::ReadBytes(Target()) == a);
  DWORD size = 0;  // nothing of the answers is kept in the system's cache
  EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size));
  // Each request with nothing but its two headers (and Host).
  const Json requests = servers_.Received();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1]["headers"],
            Json::parse(R"([["Content-Type","application/octet-stream"],["Host",")" +
                        servers_.ServiceBase().substr(7) + R"("],["Range","bytes=1048576-1500000"]])"));
  EXPECT_EQ(sink_.texts, (Texts{"下载升级包进度:70%", "下载升级包进度:100%"}));

  EXPECT_TRUE(Ranges(servers_.NginxPackage("/moved/", "b.exe", b), 1048577) &&
              test::ReadBytes(Target()) == b);
  const std::string c = PackageBytes(1048575, 3);
  EXPECT_TRUE(Ranges(servers_.NginxPackage("/norange/", "c.exe", c), 1048575) &&
              test::ReadBytes(Target()) == c);

  // Which answers fail is the core's, but for the status; here the target is removed,
  // also after a piece was written, and an announced total of 0 fails the route itself.
  const std::string e = servers_.ServicePackage("e.exe", PackageBytes(3000000, 5));
  for (const char* faults : {
           R"([{"status":416,"body":""}])",  // nothing more to fetch: success, with an empty target
           R"([{"headers":[["Content-Range","bytes 0-1048576/0"]]}])",
           R"([{"status":403}])",                  // neither 200 nor 206
           R"([{"status":206}, {"status":500}])",  // after a piece was written
       }) {
    SCOPED_TRACE(faults);
    const bool notSatisfiable = std::strstr(faults, "416");
    ASSERT_TRUE(servers_.ScriptPackageFaults(Json::parse(faults)));
    ASSERT_TRUE(test::WriteBytes(Target(), "old"));
    EXPECT_EQ(Ranges(e, 3000000), notSatisfiable);
    EXPECT_TRUE(test::PathExists(Target()) == notSatisfiable && test::ReadBytes(Target()).empty());
  }
}

// The system download may hand out its cached copy of an address (on Windows it does
// for an answer that has not expired); Wine's asks the server every time. So what
// shows the cached copy removed first is that it is gone after a download whose
// answer the system does not keep (a 404, which Wine's download reports as success).
TEST_F(DownloadRoutesTest, SystemRouteRemovesTheCachedCopyFirstAndGivesUpOnASilentServer) {
  const std::string old = PackageBytes(300000, 9), fresh = PackageBytes(300000, 10);
  const std::string url = servers_.ServicePackage("i.exe", old);
  const auto cached = [&] {
    DWORD size = 0;
    return GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
  };
  // An answer the system may keep for a day.
  ASSERT_TRUE(
      servers_.ScriptPackageFaults(Json::parse(R"([{"headers":[["Cache-Control","max-age=86400"]]}])")));
  ASSERT_EQ(URLDownloadToFileA(nullptr, url.c_str(), Target().c_str(), 0, nullptr), S_OK);
  ASSERT_TRUE(cached());

  servers_.ServicePackage("i.exe", fresh);
  EXPECT_TRUE(DownloadUrlToFile(url, Target()) && test::ReadBytes(Target()) == fresh);

  ASSERT_TRUE(cached());
  ASSERT_TRUE(servers_.ScriptPackageFaults(Json::parse(R"([{"status":404,"body":""}])")));
  DownloadUrlToFile(url, scratch_.root + "\\missing.exe");
  EXPECT_FALSE(cached());

  // A server that takes the request and never answers: the download is aborted after
  // its silence (cut to 2 s here; the program allows 60 s).
  test::OneRequestCatcher silent(std::nullopt);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(DownloadUrlToFile("http://127.0.0.1:" + std::to_string(silent.Port()) + "/p.exe", Target(), 2000));
  EXPECT_LT(GetTickCount() - start, 10000u);
}

// The companion gets its task file and folder; the watch ends once the file has the
// package's size, also while the companion still runs (here a stand-in that stays).
TEST_F(DownloadRoutesTest, CompanionRouteEndsAtTheFullSizeWhileTheCompanionStillRuns) {
  PlaceCompanion(ZEL_ECHO_EXE);
  const std::string report = scratch_.root + "\\echo.txt";
  scratch_.Point(test::kEchoOutVariable, report);
  scratch_.Point(test::kEchoStayVariable, "30000");
  ASSERT_TRUE(test::WriteBytes(Partial(), std::string(5000, 'p')));
  const std::string url = "http://127.0.0.1:9/\u5305.exe";
  EXPECT_TRUE(DownloadPackage("2.1.0", url, 5000, "D9E7E8FD8B9D56B3CAD80867A906B2F8", kDownloadProgressFormat,
                              sink_));
  EXPECT_EQ(sink_.texts, Texts{"下载升级包进度:100%"});
  const Texts tasks = TaskFiles();
  ASSERT_EQ(tasks.size(), 1u);
  const std::string task = GetUpdateTempDir() + tasks[0];
  EXPECT_EQ(test::ReadBytes(task), "2.1.0\r\n" + url + "\r\n5000\r\nD9E7E8FD8B9D56B3CAD80867A906B2F8\r\n");
  const auto quoted = [](const std::string& text) { return '"' + text + '"'; };
  EXPECT_EQ(test::WaitForEchoReport(report), quoted(GetAppDir() + kCompanionName) + ' ' + quoted(task) + ' ' +
                                                 quoted(GetUserDataDir()) + " show:none");
  EXPECT_TRUE(test::KillImage(GetAppDir() + kCompanionName, true)) << "the watch waited for the companion";
}

TEST_F(DownloadRoutesTest, CompanionRouteFailsWhenTheCompanionEndsEarlyOrIsMissing) {
  const std::string package = PackageBytes(4 * 1048576, 12);
  sink_.onStatus = KillCompanions;  // at the first progress shown, part of the way
  EXPECT_FALSE(DownloadPackage("2.1.0", servers_.NginxPackage("/slow/", "k.exe", package), 4 * 1048576,
                               test::Md5Of(package, scratch_.root + "\\md5.bin"), kDownloadProgressFormat,
                               sink_));
  ASSERT_EQ(sink_.texts.size(), 1u);
  EXPECT_LT(std::stoi(sink_.texts[0].substr(std::strlen("下载升级包进度:"))), 100) << sink_.texts[0];
  EXPECT_LT(test::ReadBytes(Partial()).size(), package.size());

  for (const std::string& task : TaskFiles()) DeleteFileW(Widen(GetUpdateTempDir() + task).c_str());
  PlaceCompanion("");
  EXPECT_FALSE(DownloadPackage("2.1.0", servers_.ServicePackage("k.exe", package), 4 * 1048576, "", "", sink_));
  EXPECT_EQ(TaskFiles(), Texts{});
}

}  // namespace
}  // namespace zel
