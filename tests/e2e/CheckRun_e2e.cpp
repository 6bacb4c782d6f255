// The real zelpatcher.exe's checking run, inside the end-to-end world: its built-in
// service and probe addresses lead to the reference update service on the loopback.
// Each scenario installs a product folder, starts the program as a standard user would
// (not elevated), reads the status the window shows at the end, and checks what the
// service received and what config.dat holds afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "protocol/TextCodecs.h"
#include "support/WorldScenario_win.h"

namespace zel::test {
namespace {

using nlohmann::json;
using Names = std::vector<std::string>;
// Product programs and the versions their files carry ("none": no version resource).
using Programs = std::map<std::string, std::string>;

constexpr char kLatest[] = "版本已更新到最新";
constexpr char kOldDate[] = "01-01-2000";  // the last check of EarlierRun()
// Queries to the built-in address, as Sent() gives them.
const std::string kShortQuery = "update.zelvora.cn/zelguard/update1 short";
const std::string kFullQuery = "update.zelvora.cn/zelguard/update1 full";

const Names kShortProfile = {"AppVer", "ExecutionLevel", "OSMajorVer", "UUID"};
const Names kFullProfile = {"AppVer",         "Arch",          "CPU",        "DocShellApp", "DocShellVer",
                            "ExecutionLevel", "HttpsShellApp", "OSMajorVer", "OSName",      "OSVer",
                            "OfficeAddins",   "Resolution",    "UUID"};

// A Word installation as the registry shows it: .docx opens with a winword.exe of
// version 16.0.0.4266 in a folder of the world, and Word has one enabled add-in.
class WordInstalled {
 public:
  static constexpr char kAddinName[] = "文档助手";

  explicit WordInstalled(const World& world) : folder_(world.Root() + "Office Root\\Office16\\") {
    CopyProgram("zelver-16.0.0.4266.exe", folder_ + "WINWORD.EXE");
    Set(HKEY_CLASSES_ROOT, L".docx", nullptr, L"ZelE2e.Document");
    Set(HKEY_CLASSES_ROOT, L"ZelE2e.Document\\shell\\Open\\command", nullptr,
        L"\"" + Widen(folder_) + L"WINWORD.EXE\" /n \"%1\"");
    Set(HKEY_CURRENT_USER, kAddin, L"Description", Widen(kAddinName));
    DWORD load = 3;
    RegSetKeyValueW(HKEY_CURRENT_USER, kAddin, L"LoadBehavior", REG_DWORD, &load, sizeof load);
  }
  ~WordInstalled() {  // the world's prefix has no .docx association of its own
    for (const wchar_t* key : {L".docx", L"ZelE2e.Document"}) RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    RegDeleteTreeW(HKEY_CURRENT_USER, kAddin);
  }
  std::string Folder() const { return LowerText(folder_); }

 private:
  static constexpr wchar_t kAddin[] = L"Software\\Microsoft\\Office\\Word\\Addins\\ZelE2e.Connect";
  static void Set(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
  }
  std::string folder_;
};

class CheckRun : public WorldScenario {
 protected:
  // The product folder (its name has a space) with these programs, each a built file of
  // that version.
  void InstallProduct(const Programs& programs = {{"sweepdoc.exe", "2.3.0.41"}}) {
    std::map<std::string, std::string> files;
    for (const auto& [name, version] : programs) files[name] = "zelver-" + version + ".exe";
    WorldScenario::InstallProduct(files);
  }

  void Answer(const json& faults) { ASSERT_TRUE(service_.AddFaults(faults.dump())) << faults; }

  std::string Run(const std::string& arguments, bool elevated = false, DWORD timeoutMs = kRunMs) {
    return Finish(Start(arguments, elevated), timeoutMs);
  }

  // The update queries the service received, each as "host/target profile": the
  // profile "short" or "full" by the fields it carried, otherwise what was decoded.
  Names Sent() const {
    Names sent;
    for (const auto& r : Received("POST")) {
      Names fields;
      for (const auto& [name, value] : r["decoded"].items()) fields.push_back(name);
      const std::string profile = fields == kShortProfile  ? "short"
                                  : fields == kFullProfile ? "full"
                                                           : r["decoded"].dump();
      sent.push_back(Header(r, "host") + r["target"].get<std::string>() + " " + profile);
    }
    return sent;
  }
  // A field of the first query the service received and decoded.
  std::string Field(const char* name) const {
    return Received("POST").at(0)["decoded"].value(name, "<absent>");
  }
};

// ---- First run and the connectivity probe ----

TEST_F(CheckRun, FirstRunSendsTheFullProfileAndRecordsTheDocumentProgram) {
  InstallProduct();
  WordInstalled word(world_);

  EXPECT_EQ(Run("/ui", /*elevated=*/true), kLatest);

  ASSERT_EQ(Sent(), Names{kFullQuery});
  EXPECT_EQ(Field("ExecutionLevel"), "1");
  EXPECT_NE(Field("OSName"), "");  // the machine's WMI service answered
  EXPECT_EQ(Field("DocShellApp"), "winword");
  EXPECT_EQ(Field("DocShellVer"), "16");
  EXPECT_EQ(Field("OfficeAddins"), "{\"Word\":[\"" + std::string(WordInstalled::kAddinName) + "\"]}");
  EXPECT_EQ(Field("UUID"), Setting("general", "InstalledUUID"));
  EXPECT_EQ(Field("UUID").size(), 36u);
  EXPECT_EQ(Setting("general", "InstalledDate"), TodayText());
  EXPECT_EQ(Setting("general", "LastCheckUpdate"), TodayText());
  EXPECT_EQ(Setting("office", "AppName"), "winword");
  EXPECT_EQ(Setting("office", "AppVer"), "16");
  EXPECT_EQ(Setting("office", "InstallPath"), word.Folder());
}

TEST_F(CheckRun, FailedProbeSendsNothingAndLeavesTheCheckDue) {
  InstallProduct();
  Config("LastCheckUpdate=" + std::string(kOldDate) + "\r\n");  // first run: no InstalledDate
  WordInstalled word(world_);
  HostsOverride unreachable("www.baidu.com", "192.0.2.1");  // no route in the world
  ASSERT_TRUE(unreachable.Applied());

  EXPECT_EQ(Run("/ui /manual"), "您的网络连接异常，无法连接到升级服务器。");

  EXPECT_EQ(Sent(), Names{});
  EXPECT_EQ(Setting("general", "LastCheckUpdate"), kOldDate);
  // The first run is recorded before the probe.
  EXPECT_EQ(Setting("general", "InstalledDate"), TodayText());
  EXPECT_EQ(Setting("office", "AppName"), "winword");
}

// A day already checked ends at once; "/manual" asks all the same. Without zlib1.dll
// beside the program the query goes out uncompressed, and the run goes on as usual.
TEST_F(CheckRun, ManualAsksOnADayAlreadyCheckedAndWithoutZlibPlainly) {
  InstallProduct();
  Config("InstalledDate=02-03-2021\r\nLastCheckUpdate=" + TodayText() + "\r\n");
  ASSERT_TRUE(DeleteFileW(Widen(product_ + "zlib1.dll").c_str()));

  EXPECT_EQ(Run("/UI"), "");  // the common ending at once; switches in any case
  EXPECT_EQ(Sent(), Names{});

  EXPECT_EQ(Run("/ui /manual"), kLatest);
  ASSERT_EQ(Sent(), Names{kShortQuery});  // the service read it all the same
  EXPECT_NE(Received("POST")[0]["body"].get<std::string>().find("&zip=0&data="), std::string::npos);
}

// ---- The service's answers ----

// The latest-version answer (31) to an account that has checked before: the short
// profile, not elevated, in the form body, naming the version of the first of the
// product's programs that has one, which is recorded. With none (the updater runs under
// another name, so not even its own file counts), the query names 0.0.0 and the versions
// recorded earlier stay.
TEST_F(CheckRun, LatestAnswerToTheShortQueryNamesTheFirstVersionedProgram) {
  const struct {
    Programs programs;
    std::string version;
    const char* updater = "zelpatcher.exe";
  } rows[] = {
      {{{"sweepdoc.exe", "none"}, {"zelcore.exe", "2.3.0.41"}}, "2.3.41"},
      {{{"sweepdoc.exe", "3.1.0.40000"}, {"zelcore.exe", "2.3.0.41"}, {"docwatch.exe", "9.8.0.7"}},
       "3.1.40000"},
      {{{"docwatch.exe", "9.8.0.7"}}, "1.0.0"},  // the updater itself comes before the tray program
      {{{"docwatch.exe", "none"}}, "0.0.0", "zelupdater.exe"},
  };
  for (const auto& [programs, version, updater] : rows) {
    SCOPED_TRACE(version);
    ASSERT_TRUE(service_.Reset());
    InstallProduct(programs);
    if (std::string(updater) != "zelpatcher.exe") {
      ASSERT_TRUE(MoveFileW(Widen(product_ + "zelpatcher.exe").c_str(), Widen(product_ + updater).c_str()));
    }
    EarlierRun("[versions]\r\nLocalAppVer=1.0.1\r\nServerAppVer=1.0.2\r\n");

    EXPECT_EQ(Finish(Start("/ui", false, updater)), kLatest);

    ASSERT_EQ(Sent(), Names{kShortQuery});
    EXPECT_EQ(Received("POST")[0]["query"], "AppVer=" + HexEncodeText(version) + "&ExecutionLevel=30&UUID=" +
                                                HexEncodeText(Setting("general", "InstalledUUID")) +
                                                "&OSMajorVer=36");  // Windows 7's 6
    EXPECT_EQ(Setting("general", "LastCheckUpdate"), TodayText());
    EXPECT_EQ(Setting("general", "InstalledDate"), "02-03-2021");
    EXPECT_EQ(Setting("versions", "LocalAppVer"), version == "0.0.0" ? "1.0.1" : version);
    EXPECT_EQ(Setting("versions", "ServerAppVer"), version == "0.0.0" ? "1.0.2" : version);
    EXPECT_EQ(Setting("general", "UpdateURL"), "");
    EXPECT_EQ(Setting("office", "AppName"), "");
    for (const auto& [name, fileVersion] : programs) DeleteFileW(Widen(product_ + name).c_str());
    DeleteFileW(Widen(product_ + updater).c_str());
  }
}

TEST_F(CheckRun, FullProfileAskedTwiceGivesUpAfterTheSecondQuery) {
  InstallProduct();
  EarlierRun();
  const std::string again = R"({"code":1,"message":"","data":{"action":"32"}})";
  // The second answer is held back, so the date of the first query can be seen and
  // wound back while the second is under way.
  Answer(json::array({{{"body", again}}, {{"body", again}, {"delay_ms", 5000}}}));

  const Child run = Start("/ui /manual");
  ASSERT_TRUE(WaitFor([&] { return Sent().size() >= 2; }, 120000));
  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Setting("general", "LastCheckUpdate"), TodayText());
  WritePrivateProfileStringW(L"general", L"LastCheckUpdate", Widen(kOldDate).c_str(),
                             Widen(world_.ConfigPath()).c_str());

  EXPECT_EQ(Finish(run), "服务器暂时无法访问.");

  EXPECT_EQ(Setting("general", "LastCheckUpdate"), TodayText());
  EXPECT_EQ(Sent(), (Names{kShortQuery, kFullQuery}));
}

// A refusal ends the run with the answer shown exactly as it came, its bare line feed
// too, and the day counts as checked (which answer means what is read in
// UpdateQuery_test). A new service address carries the second query, and is kept.
TEST_F(CheckRun, RefusalIsShownAsItCameAndANewAddressCarriesTheSecondQuery) {
  const std::string refused = "{\"code\":0,\n\"message\":\"请求无效\",\"data\":{\"action\":\"31\"}}";
  const std::string moved = "http://127.0.0.1/zelguard/update1?via=moved";
  const struct {
    std::string answer, status;
    Names sent;
    std::string updateUrl;
  } rows[] = {
      {refused, "服务器00错误:" + refused, {kShortQuery}, ""},
      // The second answer is the service's own: 31.
      {R"({"code":1,"message":"","data":{"action":"32","updateurl":")" + HexEncodeText(moved) + R"("}})",
       kLatest,
       {kShortQuery, "127.0.0.1/zelguard/update1?via=moved full"},
       moved},
  };
  InstallProduct();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    ASSERT_TRUE(service_.Reset());
    Answer(json::array({{{"body", row.answer}}}));
    EarlierRun();
    EXPECT_EQ(Run("/ui /manual", false, 60000), row.status);
    EXPECT_EQ(Sent(), row.sent);
    EXPECT_EQ(Setting("general", "LastCheckUpdate"), TodayText());
    EXPECT_EQ(Setting("general", "UpdateURL"), row.updateUrl);
  }
}

}  // namespace
}  // namespace zel::test
