// The real zelpatcher.exe's road from an offered update to an installed one, inside
// the end-to-end world: the reference update service offers version 1.0.2 of a
// product installed at 1.0.1, the package (the installer double, built with version
// 1.0.2) lies in the service's packages folder, and the product's processes run as
// doubles that hold their markers and leave when an installation starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "profile/FileVersion.h"
#include "protocol/FileMd5.h"
#include "protocol/TextCodecs.h"
#include "support/WorldScenario_win.h"
#include "system/HttpClient.h"

namespace zel::test {
namespace {

using nlohmann::json;

constexpr char kOldVersionPeer[] = "zelproduct-1.0.1.exe";
constexpr char kNewVersionPeer[] = "zelproduct-1.0.2.exe";
constexpr char kPackageUrl[] = "http://update.zelvora.cn/packages/zel-1.0.2.exe";
constexpr const char* kProductPrograms[] = {"sweepdoc.exe", "zelcore.exe", "docwatch.exe"};
// Windows XP has no CNG, so its signed updates are RSA's: the world's RSA key only.
constexpr char kXpSignedUpdater[] = "zelpatcher-signed-rsa.exe";
constexpr char kUnreachable[] = "http://update.zelvora.cn:9/packages/zel-1.0.2.exe";

class UpdateRoad : public WorldScenario {
 public:
  void SetUp() override {
    WorldScenario::SetUp();
    if (!IsSkipped() && !HasFatalFailure()) EarlierRun();
  }

  // Product 1.0.1 in a folder of its own: the updater (the one built with the world's
  // update key when signed, its RSA key on XP), its zlib, the companion downloader
  // (unless left out) and the three product programs.
  void InstallProduct(bool withCompanion = true, bool signedUpdater = false) {
    std::map<std::string, std::string> files;
    for (const char* program : kProductPrograms) files[program] = kOldVersionPeer;
    if (withCompanion) files["zelupdateget.exe"] = "zelupdateget.exe";
    if (signedUpdater) files["zelpatcher.exe"] = OnXp() ? kXpSignedUpdater : "zelpatcher-signed.exe";
    WorldScenario::InstallProduct(files);
  }
  // Starts the product's processes; each holds its marker once it runs.
  void RunProduct(bool sweepdocRefusesToLeave = false) {
    for (const char* program : kProductPrograms) {  // sweepdoc first
      SetEnvironmentVariableW(L"ZEL_PEER_STAYS",
                              sweepdocRefusesToLeave && products_.empty() ? L"1" : nullptr);
      products_.push_back(world_.Start(product_ + program, ""));
    }
    for (const char* program : kProductPrograms)
      ASSERT_TRUE(WaitFor([&] { return PathExists(Marker(std::string(program, std::strlen(program) - 4))); }))
          << program;
  }

  // Puts the package into the service's packages folder and scripts the next update
  // answer to offer it; `info` members replace the offer's, `data` members are added to
  // the answer's data, and `fault` members to the scripted answer.
  void Offer(const std::string& packageSource = kNewVersionPeer, const json& info = json::object(),
             const json& fault = json::object(), const json& data = json::object()) {
    const std::string package = WorldSetting("ZEL_WORLD_PACKAGES") + "\\zel-1.0.2.exe";
    EXPECT_TRUE(CopyFileW(Widen(GetAppDir() + packageSource).c_str(), Widen(package).c_str(), FALSE));
    const FileDigests digests = FileMd5AndSha256(package);
    json offer = {{"ver", "1.0.2"},
                  {"size", static_cast<std::int64_t>(ReadBytes(package).size())},
                  {"hash", digests.md5},
                  {"sha256", digests.sha256},
                  {"packageurl", HexEncodeText(kPackageUrl)},
                  {"reinstall", 0}};
    offer.update(info);
    json answer = {{"code", 1}, {"message", ""}, {"data", {{"action", "33"}, {"updateinfo", offer}}}};
    answer["data"].update(data);
    json scripted = {{"body", answer.dump()}};
    scripted.update(fault);
    EXPECT_TRUE(service_.AddFaults(json::array({scripted}).dump()));
  }

  // Answers the run's message box of that caption; its text comes back.
  std::string Answer(const Child& run, const char* caption, int button) {
    std::wstring text;
    const HWND box = FindMessageBox(run.Pid(), Widen(caption), 120000, &text);
    if (box) AnswerMessageBox(box, button);
    return box ? Narrow(text) : "<no box>";
  }

  // The steps of the diagnostics log, one entry per process in the order the processes
  // first wrote: "role: step step ...".
  std::vector<std::string> LoggedSteps() const {
    std::vector<std::string> processes;
    std::map<std::string, std::size_t> entry;
    const std::string log = ReadBytes(world_.UserDataDir() + "\\zelpatcher.log");
    const std::regex line(R"(\[(\d+) ([a-z ]+)\] ([a-z -]+): )");
    for (std::sregex_iterator at(log.begin(), log.end(), line), end; at != end; ++at) {
      const auto [it, added] = entry.try_emplace((*at)[1], processes.size());
      if (added) processes.push_back((*at)[2].str() + ":");
      processes[it->second].append(" ").append((*at)[3].str());
    }
    return processes;
  }

  std::string Marker(const std::string& name) const { return world_.ProductDataDir() + name + ".run"; }
  std::string CachedPackage() const { return world_.UserDataDir() + "\\zelupdatepkg.exe"; }
  std::string ProductVersion() const { return GetFileVersion(product_ + "sweepdoc.exe"); }
  // The upgrading copy's work is done: its marker is gone and the cache emptied.
  bool HandOverDone() const {
    return !PathExists(Marker("zelinstalling")) && Setting("UPDATE", "CacheDate").empty() &&
           !PathExists(CachedPackage());
  }

  // The installer (the cached package, started by the upgrading copy) is running.
  bool InstallerRuns() const { return ProcessesNamed("zelupdatepkg.exe") > 0; }
  // Product 1.0.1 again, with an empty cache and no update work folder left.
  void Reinstall() {
    for (const char* program : kProductPrograms)
      CopyFileW(Widen(GetAppDir() + kOldVersionPeer).c_str(), Widen(product_ + program).c_str(), FALSE);
    DeleteFileW(Widen(product_ + "install.log").c_str());
    DeleteFileW(Widen(CachedPackage()).c_str());
    EarlierRun();
    ASSERT_TRUE(service_.Reset());
  }

  // The world's prefix reports Windows XP.
  static bool OnXp() { return WorldSetting("ZEL_WORLD_WINDOWS") == "xp"; }

  std::vector<Child> products_;
  DWORD runPid_ = 0;  // the checking instance the kill matrix watches
};

// ---- The package information, checked before anything is downloaded ----

// Which package information is refused, and with which status, is read in the package
// steps' core test; here the refusal ends the run before anything is downloaded.
TEST_F(UpdateRoad, PackageInformationThatCannotBeUsedEndsTheRunWithItsStatus) {
  InstallProduct();
  Offer(kNewVersionPeer, {{"packageurl", "7G"}});
  EXPECT_EQ(Finish(Start("/ui /manual")), "获取升级包地址失败");
  EXPECT_EQ(Setting("versions", "ServerAppVer"), "1.0.2");  // written before the checks
  EXPECT_TRUE(Received("GET", "/packages/").empty());
}

// ---- The download routes; each run ends at the fresh-installation question ----

// The companion downloader when it lies beside the program in a printable ASCII folder,
// ranges otherwise, and the system's URL download when the ranges fail. A run that is not elevated asks
// before a fresh installation, and declined it caches nothing. Behind the user's proxy, with no direct route
// to the update host, the check and every route go through the proxy.
TEST_F(UpdateRoad, EachDownloadRouteEndsAtTheFreshInstallationQuestion) {
  const struct {
    const char* folder;
    bool companion;
    bool viaProxy;
    bool rangesFail;
    const char* routes;  // the routes the log tells of, in order
  } rows[] = {{"Zel Guard\\", false, false, false, "range requests: done"},
              {"Zel Guard\\", false, true, true, "range requests: failed|system download: done"},
              {"Zel Guard\\", true, true, false, "companion downloader: done"},
              {"卫士\\", true, true, false, "range requests: done"}};
  const std::string logPath = world_.UserDataDir() + "\\zelpatcher.log";
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.folder) + (row.companion ? ", companion" : ", no companion") +
                 (row.viaProxy ? ", through the proxy" : "") + (row.rangesFail ? ", ranges fail" : ""));
    ASSERT_TRUE(service_.Reset());
    product_ = world_.Root() + row.folder;
    InstallProduct(row.companion);
    Offer(kNewVersionPeer, {{"reinstall", 1}});
    if (row.rangesFail) {
      ASSERT_TRUE(service_.AddFaults(R"([{"on": "package", "status": 500}])"));
    }
    std::optional<UserProxy> proxy;
    std::optional<HostsOverride> noDirectRoute;
    if (row.viaProxy) {
      ASSERT_TRUE(proxy.emplace(WorldSetting("ZEL_WORLD_PROXY")).Applied());
      ASSERT_TRUE(noDirectRoute.emplace("update.zelvora.cn", "10.255.255.1").Applied());
    }
    const std::size_t logged = ReadBytes(logPath).size();
    const Child run = Start("/ui /manual");
    EXPECT_EQ(Answer(run, "Zel卫士发现新版本", IDNO), "新版本安装需要全新安装，是否启用管理员权限进行安装？");
    EXPECT_EQ(Finish(run), "升级中...");
    std::string routes;
    const std::regex route(R"((companion downloader|range requests|system download): (done|failed))");
    const std::string log = ReadBytes(logPath).substr(logged);
    for (std::sregex_iterator at(log.begin(), log.end(), route), end; at != end; ++at)
      routes.append(routes.empty() ? "" : "|").append(at->str());
    EXPECT_EQ(routes, row.routes);
    // The package lies in the update work folder, the companion's partial file moved there.
    EXPECT_FALSE(PathExists(world_.UserDataDir() + "\\zelupdatepkg.dwn"));
    EXPECT_TRUE(PathExists(world_.Temp() + "\\zelupdate_tmp\\zelupdatepkg.exe"));
    EXPECT_TRUE(Setting("UPDATE", "CacheDate").empty());
    EXPECT_FALSE(PathExists(CachedPackage()));
    EXPECT_EQ(ProductVersion(), "1.0.1");
  }
}

// A proxy that asks for credentials the user has not given, or refuses outright, fails
// the query at once with its status.
TEST_F(UpdateRoad, ProxyThatRefusesFailsTheQuery) {
  InstallProduct();
  const HostsOverride noDirectRoute("update.zelvora.cn", "10.255.255.1");
  ASSERT_TRUE(noDirectRoute.Applied());
  for (const char* refusing : {"ZEL_WORLD_PROXY_407", "ZEL_WORLD_PROXY_403"}) {
    SCOPED_TRACE(refusing);
    const UserProxy proxy(WorldSetting(refusing));
    ASSERT_TRUE(proxy.Applied());
    EXPECT_EQ(Finish(Start("/ui /manual"), 60000),
              "连接服务器失败:http://update.zelvora.cn/zelguard/update1");
  }
  EXPECT_TRUE(Received("POST").empty());
}

// A complete partial file counts as the download, even with a companion that is no
// program. Held by another program, it cannot be moved into place: the package is
// missing, and the run ends without a word. Neither run downloads.
TEST_F(UpdateRoad, CompleteCompanionFileCountsEvenWhenTheCompanionCannotStart) {
  InstallProduct();
  ASSERT_TRUE(WriteBytes(product_ + "zelupdateget.exe", "not a program"));
  const std::wstring partial = Widen(world_.UserDataDir() + "\\zelupdatepkg.dwn");
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held" : "free");
    ASSERT_TRUE(service_.Reset());
    Offer(kNewVersionPeer, {{"reinstall", 1}});
    ASSERT_TRUE(CopyFileW(Widen(GetAppDir() + kNewVersionPeer).c_str(), partial.c_str(), FALSE));
    const UniqueFile holder(
        held ? CreateFileW(partial.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
             : INVALID_HANDLE_VALUE);
    const Child run = Start("/ui /manual");
    if (!held) Answer(run, "Zel卫士发现新版本", IDNO);
    EXPECT_EQ(Finish(run), held ? "下载升级包......" : "升级中...");
    EXPECT_TRUE(Received("GET", "/packages/").empty());
  }
}

// (What the answer Yes starts is read in the package steps' test.)
TEST_F(UpdateRoad, AllRoutesFailingOfferTheManualDownload) {
  InstallProduct();
  // Nothing listens there, so every route fails (a 404 page is a download to the
  // system's URL service).
  Offer(kNewVersionPeer, {{"packageurl", HexEncodeText(kUnreachable)}});
  const Child run = Start("/ui /manual");
  EXPECT_EQ(Answer(run, "程序自动更新失败", IDNO), "自动更新失败需要手工下载更新包吗?");
  EXPECT_EQ(Finish(run), std::string("下载升级包失败,升级地址:") + kUnreachable);
}

// ---- After the download: verification and the cache ----

// Each fault after the download ends the run with its status, and only a package that
// was cached stays cached (a wrong digest is the package steps' test's).
TEST_F(UpdateRoad, FaultsAfterTheDownloadEndTheRunWithTheirStatus) {
  InstallProduct(false);
  Offer(kNewVersionPeer,
        {{"size", static_cast<std::int64_t>(ReadBytes(GetAppDir() + kNewVersionPeer).size()) - 1}});
  EXPECT_EQ(Finish(Start("/ui /manual")), "下载升级包大小校验错误");
  EXPECT_TRUE(Setting("UPDATE", "CacheDate").empty());

  // A folder stands where the package would be cached: nothing is handed over.
  Offer();
  ASSERT_TRUE(CreateDirectoryW(Widen(CachedPackage()).c_str(), nullptr));
  EXPECT_EQ(Finish(Start("/ui /manual")), "复制文件出错02");
  EXPECT_TRUE(Setting("UPDATE", "CacheDate").empty());
  EXPECT_FALSE(PathExists(Marker("zelinstalling")));
  ASSERT_TRUE(RemoveDirectoryW(Widen(CachedPackage()).c_str()));

  // The upgrading copy is always made from the folder's "zelpatcher.exe": an updater
  // under another name cannot hand over; the package stays cached for the next start.
  const std::string renamed = product_ + "zelupdater.exe";
  ASSERT_TRUE(MoveFileW(Widen(product_ + "zelpatcher.exe").c_str(), Widen(renamed).c_str()));
  Offer();
  EXPECT_EQ(Finish(Start("/ui /manual", false, "zelupdater.exe")), "升级过程出错(复制或启动升级程序失败)");
  EXPECT_FALSE(Setting("UPDATE", "CacheDate").empty());
  EXPECT_TRUE(PathExists(CachedPackage()));
}

// ---- The three installations ----

// On Windows XP every run is elevated, a standard user's too, and the run, whose window
// closes as the installation starts, ends the common way with "升级完成".
TEST_F(UpdateRoad, ElevatedRunInstallsDirectlyAndEndsWhenTheInstallationStarts) {
  InstallProduct();
  Offer();
  const Child run = Start("/ui /manual", !OnXp());
  DWORD code = 99;
  ASSERT_TRUE(run.WaitExit(120000, &code));
  EXPECT_EQ(code, 0u);
  const std::string log = ReadBytes(world_.UserDataDir() + "\\zelpatcher.log");
  EXPECT_NE(log.find("probe: https://www.baidu.com/ answers"), std::string::npos);
  EXPECT_NE(log.find(OnXp() ? "end: \"升级完成\"" : "end: at once"), std::string::npos) << log;
  ASSERT_TRUE(WaitFor([&] { return ProductVersion() == "1.0.2"; }));
  EXPECT_NE(ReadBytes(product_ + "install.log").find("/verysilent /installpath \"" + product_ + "\""),
            std::string::npos);
  EXPECT_TRUE(Setting("UPDATE", "CacheDate").empty());  // nothing handed over
}

// The whole hand-over of a standard user's run: the package is cached, the copy in the
// update work folder waits for the product's processes to leave and installs it, the
// checking instance's window closes when the installation starts, and the next check
// finds the product up to date.
TEST_F(UpdateRoad, NotElevatedRunHandsThePackageToTheUpgradingCopy) {
  InstallProduct();
  RunProduct();
  const std::string md5 = FileMd5(GetAppDir() + kNewVersionPeer, kCalgMd5);
  Offer(kNewVersionPeer, {{"hash", AsciiLower(md5)}});  // a lower-case hash matches too
  const Child run = Start("/ui /manual");
  ASSERT_TRUE(WaitFor([&] { return !Setting("UPDATE", "CacheDate").empty(); }, kRunMs));
  EXPECT_EQ(Setting("UPDATE", "PackageHash"), md5);  // the digest as computed
  DWORD code = 99;
  ASSERT_TRUE(run.WaitExit(120000, &code)) << "the checking instance still runs";
  for (Child& process : products_) EXPECT_TRUE(process.WaitExit(30000)) << "a product process stayed";
  ASSERT_TRUE(WaitFor([&] { return HandOverDone(); }, 120000));
  EXPECT_EQ(ProductVersion(), "1.0.2");
  EXPECT_NE(ReadBytes(product_ + "install.log")
                .find("/verysilent /installpath \"" + LowerText(product_) + "\""),
            std::string::npos);

  ASSERT_TRUE(service_.Reset());
  EXPECT_EQ(Finish(Start("/ui /manual")), "版本已更新到最新");

  // The diagnostics log tells the whole road, each process its own steps in order.
  EXPECT_EQ(LoggedSteps(),
            (std::vector<std::string>{
                "checking: start probe post answer package companion downloader size digest cache hand-over "
                "installing marker end",
                "upgrading copy: cache start other markers installer installer cache end",
                "checking: start probe post answer end"}));
}

// ---- Kill matrix: a process of the road dies at a phase; the next start recovers ----

// Each row: who dies, when (a condition on the world), and whether a product process
// refuses to leave while it happens.
TEST_F(UpdateRoad, KillAtAnyPhaseLeavesAConsistentStateAndTheNextStartRecovers) {
  const std::string copyImage = world_.Temp() + "\\zelupdate_tmp\\zelpatcher.exe";
  const std::string checkingImage = product_ + "zelpatcher.exe";
  const struct {
    const char* process;
    const char* phase;
    bool sweepdocStays;
    std::function<bool()> reached;
  } cases[] = {
      {"checking instance", "during download", false,
       [&] { return PathExists(world_.UserDataDir() + "\\zelupdatepkg.dwn"); }},
      // Verified: the package is being copied into the cache, not yet recorded.
      {"checking instance", "after verification", false,
       [&] {
         const HWND window = FindProgressWindow(runPid_, 0);
         return PathExists(CachedPackage()) || (window && Narrow(StatusText(window)) == "升级中...");
       }},
      {"checking instance", "after the cache record", false,
       [&] { return !Setting("UPDATE", "CacheDate").empty(); }},
      {"upgrading copy", "during the wait", true, [&] { return PathExists(Marker("zelinstalling")); }},
      {"upgrading copy", "during installation", false,
       [&] { return PathExists(product_ + "install.log") || InstallerRuns(); }},
      {"installer", "during installation", false, [&] { return InstallerRuns(); }},
  };
  InstallProduct();
  std::string table = "| killed | phase | state afterwards | next start |\n|---|---|---|---|\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.process) + " " + c.phase);
    Reinstall();
    RunProduct(c.sweepdocStays);
    // The companion's package request is held back a little, so the download can be caught.
    ASSERT_TRUE(service_.AddFaults(R"([{"on":"package","delay_ms":3000}])"));
    Offer();
    Child run = Start("/ui /manual");
    runPid_ = run.Pid();
    // The phases of the checking instance last a moment only: when the road has run
    // past one before the kill lands, the row says so, and what counts is the same.
    const std::string process = c.process;
    const std::string image = process == "installer"        ? CachedPackage()
                              : process == "upgrading copy" ? copyImage
                                                            : checkingImage;
    const bool reached =
        WaitFor([&] { return c.reached() || (image == checkingImage && !run.Running()); }, kRunMs);
    const bool killed = reached && KillImage(image);
    EXPECT_TRUE(reached) << "the run neither reached the phase nor ended";
    // A checking instance that outlived the kill shows its ending; its user closes it.
    if (!run.WaitExit(5000)) run.Kill();
    products_.clear();                          // each ends as it goes
    if (c.sweepdocStays) KillImage(copyImage);  // a copy left waiting would install later
    WaitFor([&] { return !PathExists(Marker("zelinstalling")); }, 120000);

    // Consistent: a cache record always has its file, and any file there is one a
    // start verifies before installing (its record matches it, or it is deleted).
    const bool recorded = !Setting("UPDATE", "CacheDate").empty();
    const bool cachedFile = PathExists(CachedPackage());
    EXPECT_TRUE(!recorded || cachedFile) << "a cache record without its file";
    const std::string state = std::string(recorded ? "cache kept" : "no cache") +
                              (cachedFile && !recorded ? ", stray file" : "") + ", product " + ProductVersion();

    // A kill that lands while the checking instance is starting the copy leaves the copy
    // suspended for good (the system resumes a new process only at the end of its
    // start): it never runs and holds the copy's file until the next hand-over ends it.
    // A copy that runs holds the installing marker within a second or two.
    const bool cutOff =
        !WaitFor([&] { return PathExists(Marker("zelinstalling")) || !KillImage(copyImage, true); }, 30000);
    // A copy that runs goes on by itself (it installs once the killed process's marker
    // is gone, or gives up); the next start comes after it.
    if (!cutOff) WaitFor([&] { return !KillImage(copyImage, true); }, kRunMs);
    // The next start on the same day recovers without help: a kept cache is handed
    // over again, otherwise the update is offered and installed anew.
    ASSERT_TRUE(service_.Reset());
    Offer();
    const Child next = Start("/manual");  // window hidden: the run ends by itself
    next.WaitExit(kRunMs);
    const bool recovered = WaitFor([&] { return HandOverDone() && ProductVersion() == "1.0.2"; }, 120000);
    EXPECT_TRUE(recovered);
    // Nothing of this row may run into the next one.
    for (const auto& left : {copyImage, checkingImage}) KillImage(left);
    table += std::string("| ") + c.process + (killed ? "" : " (had ended)") + " | " + c.phase + " | " +
             state + (cutOff ? ", the copy's start cut off (healed by the next start)" : "") + " | " +
             (recovered ? "installed 1.0.2" : "NOT RECOVERED") + " |\n";
  }
  std::printf("\nKill matrix:\n%s\n", table.c_str());
}

// ---- Signed updates: the program built with the world's key, a hostile update host ----

// An answer signed for the query the program sent: body and signature header, asked of
// the service with these key ids and a nonce of its own.
std::pair<std::string, std::string> SignedAnswerFor(const char* keyIds) {
  const auto client = CreateHttpClient();
  const std::string url = WorldSetting("ZEL_WORLD_SERVICE") + "/zelguard/update1";
  EXPECT_TRUE(client->Start({"POST",
                             url,
                             {{"X-Zel-Key-Id", keyIds}, {"X-Zel-Nonce", std::string(32, '7')}},
                             "size=3&checksum=0&zip=0&data=616263"}));
  client->Wait();
  const HttpResponse* response = client->Response();
  if (!response) return {};
  return {std::string(response->body.begin(), response->body.end()), response->Header("X-Zel-Signature")};
}

TEST_F(UpdateRoad, SignedUpdateIsVerifiedAndInstalled) {
  InstallProduct(true, true);
  RunProduct();
  const std::string moved = WorldSetting("ZEL_WORLD_SERVICE") + "/zelguard/update1";
  Offer(kNewVersionPeer, json::object(), json::object(), {{"updateurl", HexEncodeText(moved)}});
  const Child run = Start("/ui /manual");
  const bool ended = run.WaitExit(120000) && WaitFor([&] { return HandOverDone(); }, 120000);
  const std::string log = ReadBytes(world_.UserDataDir() + "\\zelpatcher.log");
  ASSERT_TRUE(ended) << log;
  EXPECT_EQ(ProductVersion(), "1.0.2");
  EXPECT_NE(log.find(std::string("signature: verified, key ") + (OnXp() ? ZEL_WORLD_RSA_KEY_ID : ZEL_WORLD_KEY_ID)),
            std::string::npos)
      << log;
  EXPECT_EQ(Setting("general", "UpdateURL"), moved);  // a signed answer may move the check
}

// Whatever the host answers in place of the service, no installer starts, nothing is
// cached, and the product stays as it was.
TEST_F(UpdateRoad, SignedUpdaterRefusesWhatTheKeyDoesNotVouchFor) {
  InstallProduct(true, true);
  // Signed by the world's key for another query: a signature that does not hold for this
  // one (which signatures hold is the signature check's test).
  const auto [replayedBody, replayedSignature] = SignedAnswerFor(ZEL_WORLD_KEY_ID);
  ASSERT_EQ(replayedSignature.substr(0, 16), ZEL_WORLD_KEY_ID);
  const std::string genuineSha256 = FileMd5AndSha256(GetAppDir() + kNewVersionPeer).sha256;
  const char* kRefused = "升级信息签名校验失败";
  const struct {
    const char* name;
    json fault;  // added to the offer's scripted answer
    const char* package;
    std::string status;
  } rows[] = {
      {"unsigned", {{"omit_headers", {"X-Zel-Signature"}}}, kNewVersionPeer, kRefused},
      {"replayed",
       {{"body", replayedBody}, {"headers", json::array({{"X-Zel-Signature", replayedSignature}})}},
       kNewVersionPeer,
       kRefused},
      // Signed, naming the MD5 of the file the host serves: its SHA-256 gives it away.
      {"another package with the named MD5", json::object(), kOldVersionPeer,
       "升级包校验值错误:" + FileMd5AndSha256(GetAppDir() + kOldVersionPeer).sha256},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(service_.Reset());
    Offer(row.package, {{"sha256", genuineSha256}}, row.fault,
          {{"updateurl", HexEncodeText("http://forged.example/u")}});
    const std::string status = Finish(Start("/ui /manual"));
    EXPECT_EQ(status.substr(0, row.status.size()), row.status);
    EXPECT_FALSE(InstallerRuns());
    EXPECT_TRUE(Setting("UPDATE", "CacheDate").empty());
    EXPECT_FALSE(PathExists(CachedPackage()));
    EXPECT_EQ(ProductVersion(), "1.0.1");
    // Nothing unverified moves the check elsewhere.
    if (row.status == kRefused) {
      EXPECT_EQ(Setting("general", "UpdateURL"), "");
    }
  }
}

// The upgrading copy checks the cached file once more after its wait: a file put in
// its place meanwhile is not started.
TEST_F(UpdateRoad, SignedCopyDoesNotStartACachedFileReplacedDuringItsWait) {
  InstallProduct(true, true);
  RunProduct(true);  // sweepdoc keeps the copy waiting until it is ended
  Offer();
  const Child run = Start("/ui /manual");
  ASSERT_TRUE(WaitFor([&] { return PathExists(Marker("zelinstalling")); }, kRunMs));
  ASSERT_TRUE(CopyFileW(Widen(GetAppDir() + kOldVersionPeer).c_str(), Widen(CachedPackage()).c_str(), FALSE));
  products_.front().Kill();  // sweepdoc, the first started
  ASSERT_TRUE(WaitFor([&] { return HandOverDone(); }, 120000));
  EXPECT_FALSE(PathExists(product_ + "install.log"));
  EXPECT_EQ(ProductVersion(), "1.0.1");
}

}  // namespace
}  // namespace zel::test
