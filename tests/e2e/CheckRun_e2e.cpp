// The real zelpatcher.exe's checking run, inside the end-to-end world: its built-in
// service and probe addresses lead to the reference update service on the loopback.
// Each scenario installs a fresh product folder, starts the program as a standard user
// would (not elevated), reads the status the window shows at the end, and checks what
// the service received and what config.dat holds afterwards.
// The ICMP API needs these headers in this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "E2eWorld.h"
#include "system/TextWin.h"
#include "world/WorldControl.h"

namespace zel::e2e {
namespace {

using nlohmann::json;

constexpr char kBuiltInAddress[] = "http://update.zelvora.cn/zelguard/update1";
constexpr char kLatest[] = "版本已更新到最新";
constexpr char kOldDate[] = "01-01-2000";
constexpr DWORD kRunMs = 240000;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// config.dat as sections of keys (names in lower case), values in UTF-8.
using Ini = std::map<std::string, std::map<std::string, std::string>>;

Ini ReadIni(const std::string& path) {
  Ini ini;
  std::istringstream lines(FromAnsi(ReadFileBytes(path)));
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      section = Lower(line.substr(1, line.size() - 2));
      ini[section];
    } else if (const auto eq = line.find('='); eq != std::string::npos) {
      ini[section][Lower(line.substr(0, eq))] = line.substr(eq + 1);
    }
  }
  return ini;
}

// One update query as the service received it.
struct Query {
  std::string target;
  std::multimap<std::string, std::string> headers;  // names in lower case
  std::string body;
  json fields;       // decoded values by name; null when the service could not decode the body
  std::string text;  // the query text before the form layer (values as hex)

  std::string Field(const std::string& name) const {
    return fields.is_object() && fields.contains(name) ? fields[name].get<std::string>() : "<absent>";
  }
  std::vector<std::string> Header(const std::string& name) const {
    std::vector<std::string> values;
    for (auto [it, end] = headers.equal_range(Lower(name)); it != end; ++it) values.push_back(it->second);
    return values;
  }
};

// Product programs and the versions their files carry ("none": no version resource).
using Programs = std::map<std::string, std::string>;

// The first IPv4 address of a host name, as this process resolves it now.
std::string AddressOf(const char* host) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return "";
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  ADDRINFOA* found = nullptr;
  std::string address;
  if (getaddrinfo(host, nullptr, &hints, &found) == 0 && found) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
    address = text;
    freeaddrinfo(found);
  }
  WSACleanup();
  return address;
}

bool EchoAnswered(const char* address) {
  HANDLE icmp = IcmpCreateFile();
  if (icmp == INVALID_HANDLE_VALUE) return false;
  char payload[32] = {};
  unsigned char reply[sizeof(ICMP_ECHO_REPLY) + sizeof payload + 72];
  IN_ADDR to{};
  inet_pton(AF_INET, address, &to);
  const DWORD replies =
      IcmpSendEcho(icmp, to.s_addr, payload, sizeof payload, nullptr, reply, sizeof reply, 1000);
  IcmpCloseHandle(icmp);
  return replies > 0;
}

// A Word installation as the registry shows it: the .docx association leads to a
// winword.exe of version 16.0.0.4266, and Word has one enabled add-in.
class WordInstalled {
 public:
  // folder: two levels below an existing folder, ending in a backslash.
  explicit WordInstalled(const std::string& folder) : folder_(folder) {
    const std::string parent = folder.substr(0, folder.find_last_of('\\', folder.size() - 2));
    CreateDirectoryW(Widen(parent).c_str(), nullptr);
    CreateDirectoryW(Widen(folder).c_str(), nullptr);
    CopyFileW(Widen(BinDir() + "zelver-16.0.0.4266.exe").c_str(), Widen(folder + "WINWORD.EXE").c_str(),
              FALSE);
    previousDocx_ = ReadDefault(HKEY_CLASSES_ROOT, L".docx");
    SetValue(HKEY_CLASSES_ROOT, L".docx", nullptr, L"ZelE2e.Document");
    SetValue(HKEY_CLASSES_ROOT, L"ZelE2e.Document\\shell\\Open\\command", nullptr,
             L"\"" + Widen(folder) + L"WINWORD.EXE\" /n \"%1\"");
    SetValue(HKEY_CURRENT_USER, kAddin, L"Description", Widen(kAddinName));
    DWORD load = 3;
    RegSetKeyValueW(HKEY_CURRENT_USER, kAddin, L"LoadBehavior", REG_DWORD, &load, sizeof load);
  }
  ~WordInstalled() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"ZelE2e.Document");
    RegDeleteTreeW(HKEY_CURRENT_USER, kAddin);
    if (previousDocx_.empty())
      RegDeleteTreeW(HKEY_CLASSES_ROOT, L".docx");
    else
      SetValue(HKEY_CLASSES_ROOT, L".docx", nullptr, previousDocx_);
  }
  std::string Folder() const { return LowerText(folder_); }

  static constexpr char kAddinName[] = "文档助手";

 private:
  static constexpr wchar_t kAddin[] = L"Software\\Microsoft\\Office\\Word\\Addins\\ZelE2e.Connect";
  static void SetValue(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
  }
  static std::wstring ReadDefault(HKEY root, const wchar_t* key) {
    wchar_t value[512] = {};
    DWORD size = sizeof value;
    return RegGetValueW(root, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value
                                                                                                   : L"";
  }
  std::string folder_;
  std::wstring previousDocx_;
};

class CheckRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (WorldSetting("ZEL_WORLD_SERVICE").empty())
      GTEST_SKIP() << "runs inside the end-to-end world: tests/e2e/world/run-in-world.sh PROGRAM";
    ASSERT_TRUE(service_.Reset()) << "the update service's test control does not answer";
  }

  // A product folder whose name has a space, holding the updater, its zlib and the
  // given product programs.
  void InstallProduct(const Programs& programs = {{"sweepdoc.exe", "2.3.0.41"}}) {
    CreateDirectoryW(Widen(product_).c_str(), nullptr);
    for (const char* file : {"zelpatcher.exe", "zlib1.dll"})
      ASSERT_TRUE(CopyFileW(Widen(BinDir() + file).c_str(), Widen(product_ + file).c_str(), FALSE)) << file;
    for (const auto& [name, version] : programs)
      ASSERT_TRUE(CopyFileW(Widen(BinDir() + "zelver-" + version + ".exe").c_str(),
                            Widen(product_ + name).c_str(), FALSE))
          << name;
  }

  // A settings file holding these lines of section general.
  void Config(const std::string& general) {
    CreateDirectoryW(Widen(world_.UserDataDir()).c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(world_.ConfigPath(), "[general]\r\n" + general));
  }
  // An account that has run the updater before, and not today.
  void EarlierRun() {
    Config("InstalledDate=02-03-2021\r\nLastCheckUpdate=" + std::string(kOldDate) + "\r\n");
  }

  void Answer(const std::string& faults) { ASSERT_TRUE(service_.AddFaults(faults)) << faults; }
  // Faults answering the next update queries with these bodies, in order.
  void AnswerWith(const std::vector<std::string>& bodies) {
    json faults = json::array();
    for (const auto& body : bodies) faults.push_back({{"body", body}});
    Answer(faults.dump());
  }

  // Runs the updater to its end as a user sees it: the status shown once "退出" is
  // enabled; then clicks "退出" and waits for the process to end.
  std::string Run(const std::string& arguments, bool elevated = false, DWORD timeoutMs = kRunMs) {
    const std::string program = product_ + "zelpatcher.exe";
    Child run = elevated ? world_.Start(program, arguments) : world_.StartNotElevated(program, arguments);
    EXPECT_NE(run.Pid(), 0u) << "not started";
    HWND window = FindProgressWindow(run.Pid(), 30000);
    EXPECT_NE(window, nullptr) << "no window";
    std::wstring status;
    if (!window || !WaitForEnding(window, timeoutMs, status)) {
      ADD_FAILURE() << "the run did not reach its end; status: "
                    << (window ? Narrow(StatusText(window)) : "");
      return "<no end>";
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    SaveWindowShot(window, ArtifactsDir() + "check-" + test->name() + ".bmp");
    ClickButton(window);
    EXPECT_TRUE(run.WaitExit(15000)) << "still running after 退出";
    return Narrow(status);
  }

  std::vector<Query> Queries() const {
    std::vector<Query> queries;
    const json all = json::parse(service_.Requests(), nullptr, false);
    if (!all.is_array()) return queries;
    for (const auto& r : all) {
      if (r["method"] != "POST") continue;
      Query q;
      q.target = r["target"];
      for (const auto& h : r["headers"]) q.headers.emplace(Lower(h[0]), h[1]);
      q.body = r["body"];
      q.fields = r["decoded"];
      if (r["query"].is_string()) q.text = r["query"];
      queries.push_back(std::move(q));
    }
    return queries;
  }

  Ini Settings() const { return ReadIni(world_.ConfigPath()); }

  World world_{"check"};
  std::string product_ = world_.Root() + "Zel Guard\\";
  ServiceControl service_{WorldSetting("ZEL_WORLD_SERVICE")};
};

std::vector<std::string> FieldNames(const Query& q) {
  std::vector<std::string> names;
  if (q.fields.is_object())
    for (const auto& [name, value] : q.fields.items()) names.push_back(name);
  return names;
}

const std::vector<std::string> kShortProfile = {"AppVer", "ExecutionLevel", "OSMajorVer", "UUID"};
const std::vector<std::string> kFullProfile = {
    "AppVer",         "Arch",          "CPU",        "DocShellApp", "DocShellVer",
    "ExecutionLevel", "HttpsShellApp", "OSMajorVer", "OSName",      "OSVer",
    "OfficeAddins",   "Resolution",    "UUID"};

// ---- First run and the connectivity probe ----

TEST_F(CheckRun, FirstRunSendsTheFullProfileAndRecordsTheDocumentProgram) {
  InstallProduct();
  WordInstalled word(world_.Root() + "Office Root\\Office16\\");

  EXPECT_EQ(Run("/ui"), kLatest);

  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(FieldNames(queries[0]), kFullProfile);
  EXPECT_EQ(queries[0].Field("DocShellApp"), "winword");
  EXPECT_EQ(queries[0].Field("DocShellVer"), "16");
  EXPECT_EQ(queries[0].Field("OfficeAddins"),
            "{\"Word\":[\"" + std::string(WordInstalled::kAddinName) + "\"]}");
  EXPECT_NE(queries[0].Field("OSName"), "");

  Ini ini = Settings();
  EXPECT_EQ(ini["general"]["installeddate"], TodayDateText());
  EXPECT_EQ(ini["general"]["lastcheckupdate"], TodayDateText());
  EXPECT_EQ(queries[0].Field("UUID"), ini["general"]["installeduuid"]);
  EXPECT_EQ(ini["office"]["appname"], "winword");
  EXPECT_EQ(ini["office"]["appver"], "16");
  EXPECT_EQ(ini["office"]["installpath"], word.Folder());
}

TEST_F(CheckRun, FailedProbeSendsNothingAndLeavesTheCheckDue) {
  InstallProduct();
  Config("LastCheckUpdate=" + std::string(kOldDate) + "\r\n");  // first run: no InstalledDate
  WordInstalled word(world_.Root() + "Office Root\\Office16\\");
  HostsOverride unreachable("www.baidu.com", "192.0.2.1");  // no route in the world
  ASSERT_EQ(AddressOf("www.baidu.com"), "192.0.2.1");
  ASSERT_FALSE(EchoAnswered("192.0.2.1"));

  EXPECT_EQ(Run("/ui /manual"), "您的网络连接异常，无法连接到升级服务器。");

  EXPECT_EQ(Queries().size(), 0u);
  Ini ini = Settings();
  EXPECT_EQ(ini["general"]["lastcheckupdate"], kOldDate);
  // The first run is recorded before the probe.
  EXPECT_EQ(ini["general"]["installeddate"], TodayDateText());
  EXPECT_EQ(ini["office"]["appname"], "winword");
}

// ---- Answers ----

TEST_F(CheckRun, LatestVersionAnswerEndsWithTheShortProfileSent) {
  InstallProduct();
  EarlierRun();

  EXPECT_EQ(Run("/ui"), kLatest);  // the service offers nothing: action 31

  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(FieldNames(queries[0]), kShortProfile);
  Ini ini = Settings();
  EXPECT_EQ(ini["general"]["lastcheckupdate"], TodayDateText());
  EXPECT_EQ(ini["general"]["installeddate"], "02-03-2021");
  EXPECT_EQ(ini["versions"]["localappver"], "2.3.41");
  EXPECT_EQ(ini["versions"]["serverappver"], "2.3.41");
  EXPECT_EQ(ini["general"].count("updateurl"), 0u);
  EXPECT_EQ(ini.count("office"), 0u);
}

TEST_F(CheckRun, ActionWithAFractionCountsAsItsNumber) {
  InstallProduct();
  EarlierRun();
  AnswerWith({R"({"code":1,"message":"ok","data":{"action":"31.0"}})"});
  EXPECT_EQ(Run("/ui /manual"), kLatest);
  EXPECT_EQ(Queries().size(), 1u);
}

TEST_F(CheckRun, FullProfileAskedTwiceGivesUpAfterTheSecondQuery) {
  InstallProduct();
  EarlierRun();
  const std::string again = R"({"code":1,"message":"","data":{"action":"32"}})";
  // The second answer is held back, so the date of the first query can be seen and
  // wound back while the second is under way.
  Answer(json::array({{{"body", again}}, {{"body", again}, {"delay_ms", 5000}}}).dump());

  Child run = world_.StartNotElevated(product_ + "zelpatcher.exe", "/ui /manual");
  HWND window = FindProgressWindow(run.Pid(), 30000);
  ASSERT_NE(window, nullptr);
  for (int i = 0; i < 1200 && Queries().size() < 2; ++i) Sleep(100);
  ASSERT_EQ(Queries().size(), 2u);
  EXPECT_EQ(Settings()["general"]["lastcheckupdate"], TodayDateText());
  WritePrivateProfileStringW(L"general", L"LastCheckUpdate", Widen(kOldDate).c_str(),
                             Widen(world_.ConfigPath()).c_str());

  std::wstring status;
  ASSERT_TRUE(WaitForEnding(window, kRunMs, status));
  EXPECT_EQ(Narrow(status), "服务器暂时无法访问.");
  ClickButton(window);
  EXPECT_TRUE(run.WaitExit(15000));

  EXPECT_EQ(Settings()["general"]["lastcheckupdate"], TodayDateText());
  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(FieldNames(queries[0]), kShortProfile);
  EXPECT_EQ(FieldNames(queries[1]), kFullProfile);
}

TEST_F(CheckRun, NewServiceAddressCarriesTheSecondQuery) {
  InstallProduct();
  EarlierRun();
  const std::string moved = "http://127.0.0.1/zelguard/update1?via=moved";
  AnswerWith({R"({"code":1,"message":"","data":{"action":"32","updateurl":")" + Hex(moved) + R"("}})"});

  EXPECT_EQ(Run("/ui"), kLatest);  // the second answer is the service's own: 31

  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].target, "/zelguard/update1");
  EXPECT_EQ(queries[0].Header("Host"), std::vector<std::string>{"update.zelvora.cn"});
  EXPECT_EQ(queries[1].target, "/zelguard/update1?via=moved");
  EXPECT_EQ(queries[1].Header("Host"), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(FieldNames(queries[1]), kFullProfile);
  EXPECT_EQ(Settings()["general"]["updateurl"], moved);
}

// Answers the run cannot use: the status names the fault and shows the answer text.
struct BadAnswer {
  const char* name;
  const char* body;
  const char* prefix;
};

class CheckRunBadAnswer : public CheckRun, public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(CheckRunBadAnswer, StatusShowsTheWholeAnswer) {
  InstallProduct();
  EarlierRun();
  AnswerWith({GetParam().body});

  EXPECT_EQ(Run("/ui /manual"), std::string(GetParam().prefix) + GetParam().body);

  EXPECT_EQ(Queries().size(), 1u);
  EXPECT_EQ(Settings()["general"]["lastcheckupdate"], TodayDateText());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CheckRunBadAnswer,
    ::testing::Values(
        BadAnswer{"CodeZero", R"({"code":0,"message":"请求无效","data":{"action":"31"}})", "服务器00错误:"},
        BadAnswer{"CodeAsText", R"({"code":"1","message":"","data":{"action":"31"}})", "服务器00错误:"},
        BadAnswer{"MessageMissing", R"({"code":1,"msg":"ok","data":{"action":"31"}})", "服务器错误:"},
        BadAnswer{"ActionAsNumber", R"({"code":1,"message":"","data":{"action":33}})", "服务器01错误:"},
        BadAnswer{"UnknownAction", R"({"code":1,"message":"","data":{"action":"34"}})", "服务器02错误:"}),
    [](const auto& info) { return std::string(info.param.name); });

// Answers that are no answer: one attempt, no retry wait.
TEST_F(CheckRun, ErrorStatusOrEmptyBodyIsNoAnswer) {
  InstallProduct();
  EarlierRun();
  for (const char* fault : {R"([{"status":500}])", R"([{"body":""}])"}) {
    SCOPED_TRACE(fault);
    ASSERT_TRUE(service_.Reset());
    Answer(fault);
    EXPECT_EQ(Run("/ui /manual", false, 60000), std::string("连接服务器失败:") + kBuiltInAddress);
    EXPECT_EQ(Queries().size(), 1u);
  }
}

// ---- The installed version ----

struct InstalledVersion {
  const char* name;
  Programs programs;
  const char* version;
};

class CheckRunVersion : public CheckRun, public ::testing::WithParamInterface<InstalledVersion> {};

TEST_P(CheckRunVersion, FirstProgramWithAVersionNamesIt) {
  InstallProduct(GetParam().programs);
  EarlierRun();

  EXPECT_EQ(Run("/ui"), kLatest);

  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].Field("AppVer"), GetParam().version);
  Ini ini = Settings();
  EXPECT_EQ(ini["versions"]["localappver"], GetParam().version);
  EXPECT_EQ(ini["versions"]["serverappver"], GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CheckRunVersion,
    ::testing::Values(
        InstalledVersion{
            "ScannerWithoutVersion", {{"sweepdoc.exe", "none"}, {"zelcore.exe", "2.3.0.41"}}, "2.3.41"},
        InstalledVersion{
            "ScannerFirst",
            {{"sweepdoc.exe", "3.1.0.40000"}, {"zelcore.exe", "2.3.0.41"}, {"docwatch.exe", "9.8.0.7"}},
            "3.1.40000"},
        InstalledVersion{"UpdaterBeforeTray", {{"docwatch.exe", "9.8.0.7"}}, "1.0.0"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The query on the wire ----

class CheckRunWire : public CheckRun, public ::testing::WithParamInterface<bool> {};

TEST_P(CheckRunWire, QueryReachesTheServiceInItsWireForm) {
  const bool elevated = GetParam();
  InstallProduct();
  EarlierRun();

  EXPECT_EQ(Run("/ui", elevated), kLatest);

  const auto queries = Queries();
  ASSERT_EQ(queries.size(), 1u);
  const Query& q = queries[0];
  EXPECT_EQ(q.target, "/zelguard/update1");
  using Values = std::vector<std::string>;
  EXPECT_EQ(q.Header("Accept"), Values{"*/*"});
  EXPECT_EQ(q.Header("Accept-Language"), Values{"zh-cn"});
  EXPECT_EQ(q.Header("User-Agent"),
            Values{"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"});
  EXPECT_EQ(q.Header("Content-Type"), Values{"application/x-www-form-urlencoded"});
  EXPECT_EQ(q.Header("Content-Length"), Values{std::to_string(q.body.size())});
  EXPECT_EQ(Lower(q.Header("Connection").empty() ? "" : q.Header("Connection")[0]), "keep-alive");
  EXPECT_EQ(q.Header("Cache-Control"), Values{"no-cache"});

  // size=N&checksum=0&zip=Z&data=D: N counts the hex digits of D; the query is
  // compressed from 80 characters on.
  const auto data = q.body.find("&data=");
  ASSERT_NE(data, std::string::npos) << q.body;
  const std::string hex = q.body.substr(data + 6);
  const std::string zip = q.text.size() >= 80 ? "1" : "0";
  EXPECT_EQ(q.body.substr(0, data), "size=" + std::to_string(hex.size()) + "&checksum=0&zip=" + zip);
  EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  ASSERT_TRUE(q.fields.is_object()) << "the service could not decode " << q.body;

  const std::string level = elevated ? "1" : "0";
  EXPECT_EQ(q.text.substr(0, q.text.find("&UUID=")),
            "AppVer=" + Hex("2.3.41") + "&ExecutionLevel=" + Hex(level));
  EXPECT_EQ(q.Field("ExecutionLevel"), level);
  EXPECT_EQ(q.Field("UUID"), Settings()["general"]["installeduuid"]);
  EXPECT_EQ(q.Field("OSMajorVer"), "6");  // Wine reports Windows 7 to the program
}

// The header lines exactly as they arrive, including the empty Referer, which the
// service's log cannot show.
TEST_F(CheckRun, HeaderLinesArriveAsSet) {
  InstallProduct();
  OneRequestCatcher catcher(R"({"code":1,"message":"","data":{"action":"31"}})");
  ASSERT_NE(catcher.Port(), 0);
  const std::string address = "http://127.0.0.1:" + std::to_string(catcher.Port()) + "/zelguard/update1";
  Config("InstalledDate=02-03-2021\r\nUpdateURL=" + address + "\r\n");

  EXPECT_EQ(Run("/ui /manual"), kLatest);

  std::string head, body;
  ASSERT_TRUE(catcher.Wait(10000, head, body));
  std::vector<std::string> lines;
  std::istringstream in(head);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "POST /zelguard/update1 HTTP/1.1");
  for (const std::string& expected : std::vector<std::string>{
           "Accept: */*", "Accept-Language: zh-cn",
           "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)",
           "Content-Type: application/x-www-form-urlencoded", "Referer: ", "Connection: Keep-Alive",
           "Cache-Control: no-cache", "Content-Length: " + std::to_string(body.size())})
    EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\n" << head;
  EXPECT_EQ(body.rfind("size=", 0), 0u) << body;
}

INSTANTIATE_TEST_SUITE_P(Levels, CheckRunWire, ::testing::Values(false, true), [](const auto& info) {
  return std::string(info.param ? "Elevated" : "NotElevated");
});

// ---- A service that never answers: three attempts, two real 60-second waits ----

class CheckRunSlow : public CheckRun {};

TEST_F(CheckRunSlow, ServiceThatNeverAnswersIsTriedThreeTimes) {
  InstallProduct();
  EarlierRun();
  Answer(R"([{"drop":true},{"drop":true},{"drop":true}])");

  const DWORD start = GetTickCount();
  EXPECT_EQ(Run("/ui /manual", false, 600000), std::string("连接服务器失败:") + kBuiltInAddress);
  EXPECT_GE(GetTickCount() - start, 120000u);

  EXPECT_EQ(Queries().size(), 3u);
  EXPECT_EQ(Settings()["general"]["lastcheckupdate"], TodayDateText());
}

// ---- The world itself ----

DWORD Elevation(DWORD pid) {
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  UniqueKernelHandle token;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!process || !OpenProcessToken(process.Get(), TOKEN_QUERY, token.Put()) ||
      !GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size))
    return 99;
  return elevation.TokenIsElevated;
}

TEST_F(CheckRun, WorldLeadsTheBuiltInHostsHomeAndStartsUnelevated) {
  // The service answers under its built-in host name; the probe host answers pings.
  EXPECT_EQ(ServiceControl("http://update.zelvora.cn").Send(L"GET", "/_test/requests", "").status, 200u);
  EXPECT_EQ(AddressOf("www.baidu.com"), "127.0.0.1");
  EXPECT_TRUE(EchoAnswered("127.0.0.1"));

  InstallProduct();
  Config("LastCheckUpdate=" + TodayDateText() + "\r\n");  // not due: the window just waits
  Child limited = world_.StartNotElevated(product_ + "zelpatcher.exe", "/ui");
  ASSERT_NE(FindProgressWindow(limited.Pid(), 30000), nullptr);
  EXPECT_EQ(Elevation(limited.Pid()), 0u);
  EXPECT_EQ(Elevation(GetCurrentProcessId()), 1u);  // while Wine starts everything elevated
}

}  // namespace
}  // namespace zel::e2e
