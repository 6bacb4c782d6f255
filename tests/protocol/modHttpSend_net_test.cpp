// The POST and the HTTP client against real peers on loopback: the reference update
// service (started by the test fixture, which writes its port into the file
// ZEL_SERVICE_PORT_FILE) and a bare socket that records the bytes on the wire.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <winsock2.h>

#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "VirtualClock.h"
#include "protocol/JsonAnswer.h"
#include "protocol/modHttpSend.h"
#include "protocol/modZlib.h"

namespace zel {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr const char* kPlainBody = "size=6&checksum=0&zip=0&data=616263";
const std::map<std::string, std::string> kFormHeaders = {
    {"Accept", "*/*"},
    {"Accept-Language", "zh-cn"},
    {"User-Agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"},
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Referer", ""},
    {"Content-Length", "35"},
    {"Connection", "Keep-Alive"},
    {"Cache-Control", "no-cache"},
};

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// One exchange with the client under test, waited for. The connection is not kept
// for reuse, so that a POST under test always gets a connection of its own.
std::optional<HttpResponse> Fetch(const std::string& method, const std::string& url,
                                  const std::string& body = "") {
  const auto client = CreateHttpClient();
  if (!client->Start({method, url, {{"Connection", "close"}}, body})) return std::nullopt;
  client->Wait();
  if (!client->IsDone() || !client->Response()) return std::nullopt;
  return *client->Response();
}

class UpdateServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(ZEL_SERVICE_PORT_FILE);
    ASSERT_TRUE(in >> port_) << "no update service: " << ZEL_SERVICE_PORT_FILE << " holds no port";
    base_ = "http://127.0.0.1:" + std::to_string(port_);
    const auto reset = Fetch("POST", base_ + "/_test/reset");
    ASSERT_TRUE(reset && reset->status == 200) << "the update service at " << base_ << " does not answer";
  }

  std::string UpdateUrl() const { return base_ + "/zelguard/update1"; }

  void AddFaults(const std::string& faults) {
    const auto answer = Fetch("POST", base_ + "/_test/faults", faults);
    ASSERT_TRUE(answer && answer->status == 200) << faults;
  }

  Json Received() {
    const auto answer = Fetch("GET", base_ + "/_test/requests");
    if (!answer || answer->status != 200) return Json::array();
    return Json::parse(Text(answer->body));
  }

  int port_ = 0;
  std::string base_;
};

TEST_F(UpdateServiceTest, ServiceReceivesExactlyTheFormRequest) {
  VirtualClock clock;
  // "abc" is no query the service accepts: its 400 ends the call after one attempt.
  EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "");
  EXPECT_EQ(clock.now, 0u);

  const Json requests = Received();
  ASSERT_EQ(requests.size(), 1u);
  const Json& request = requests[0];
  EXPECT_EQ(request["method"], "POST");
  EXPECT_EQ(request["target"], "/zelguard/update1");
  EXPECT_EQ(request["body"], kPlainBody);
  std::map<std::string, std::string> expected = kFormHeaders;
  expected["Host"] = "127.0.0.1:" + std::to_string(port_);
  std::map<std::string, std::string> received;
  for (const Json& header : request["headers"]) {
    const auto [it, fresh] = received.emplace(header[0], header[1]);
    EXPECT_TRUE(fresh) << "header sent twice: " << it->first;
  }
  // The service's HTTP library drops headers with an empty value; that "Referer"
  // goes out empty is checked on the wire below.
  if (!received.contains("Referer")) received["Referer"] = "";
  EXPECT_EQ(received, expected);
}

TEST_F(UpdateServiceTest, QueriesPlainAndCompressedGetTheAnswerText) {
  VirtualClock clock;
  const std::string shortQuery = "AppVer=" + HexEncodeText("1.0.0") + "&ExecutionLevel=" + HexEncodeText("1");
  const std::string longQuery =
      shortQuery + "&OSName=" + HexEncodeText("Windows 10 \xE4\xB8\xAD\xE6\x96\x87\xE7\x89\x88");
  ASSERT_LT(shortQuery.size(), 80u);
  ASSERT_GE(longQuery.size(), 80u);

  for (const std::string& query : {shortQuery, longQuery}) {
    const std::string answer = HttpPostForm(UpdateUrl(), EncodeRequestBody(query));
    const JsonAnswer parsed(answer);
    EXPECT_EQ(parsed.GetInteger("code"), 1) << answer;
    EXPECT_EQ(parsed.GetText("data.action"), "31") << answer;
  }
  const Json requests = Received();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0]["query"], shortQuery);
  EXPECT_EQ(requests[1]["query"], longQuery);
  EXPECT_NE(requests[1]["body"].get<std::string>().find("&zip=1&"), std::string::npos);
  EXPECT_EQ(clock.now, 0u);
}

TEST_F(UpdateServiceTest, EmptyAnswerAndErrorStatusEndAfterOneAttempt) {
  AddFaults(R"([{"status":200,"body":""}, {"status":404}, {"status":500}])");
  for (int i = 0; i < 3; ++i) {
    VirtualClock clock;
    EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "") << i;
    EXPECT_EQ(clock.now, 0u) << i;
  }
  EXPECT_EQ(Received().size(), 3u);
}

TEST_F(UpdateServiceTest, BrokenTransferIsRetriedWithANewRequestAfterAMinute) {
  AddFaults(R"([{"drop":true}, {"status":200,"body":"{\"code\":1}"}])");
  VirtualClock clock;
  EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "{\"code\":1}");
  EXPECT_EQ(clock.events, std::vector<std::string>{"sleep 60000"});
  EXPECT_EQ(Received().size(), 2u);
}

TEST(UnreachableService, GivesNothingAfterThreeAttemptsAndTwoWaits) {
  VirtualClock clock;
  const auto start = Clock::now();
  EXPECT_EQ(HttpPostForm("http://127.0.0.1:1/zelguard/update1", kPlainBody), "");
  EXPECT_EQ(clock.events, (std::vector<std::string>{"sleep 60000", "sleep 60000"}));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));

  VirtualClock refused;
  EXPECT_EQ(HttpPostForm("update.example/zelguard/update1", kPlainBody), "");  // no http:// : refused URL
  EXPECT_EQ(refused.now, 120000u);
}

TEST_F(UpdateServiceTest, ClientPollsAnAnswerThatIsUnderWay) {
  AddFaults(R"([{"delay_ms":1500}, {"delay_ms":20000}])");
  auto client = CreateHttpClient();
  ASSERT_TRUE(client->Start(FormPostRequest(UpdateUrl(), kPlainBody)));
  EXPECT_FALSE(client->IsDone());
  EXPECT_EQ(client->Response(), nullptr);
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (!client->IsDone() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(client->IsDone());
  ASSERT_NE(client->Response(), nullptr);
  EXPECT_EQ(client->Response()->status, 400);
  EXPECT_EQ(client->Response()->Header("content-type"), "application/json; charset=utf-8");

  // A request left under way does not hold up whoever drops it.
  ASSERT_TRUE(client->Start(FormPostRequest(UpdateUrl(), kPlainBody)));
  const auto dropped = Clock::now();
  client.reset();
  EXPECT_LT(Clock::now() - dropped, std::chrono::seconds(2));
}

TEST_F(UpdateServiceTest, NothingFetchedEntersTheUrlCache) {
  const std::string url = base_ + "/_test/requests";
  ASSERT_TRUE(Fetch("GET", url));
  ASSERT_TRUE(Fetch("POST", UpdateUrl(), kPlainBody));
  const auto second = Fetch("GET", url);  // fresh from the service, not a cached copy
  ASSERT_TRUE(second);
  EXPECT_EQ(Json::parse(Text(second->body)).size(), 1u);
  for (const std::string& fetched : {url, UpdateUrl()}) {
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoA(fetched.c_str(), nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << fetched;
  }
}

// Accepts one connection on 127.0.0.1 and keeps the bytes of the request it carries.
class WireRecorder {
 public:
  WireRecorder() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this] { Serve(); });
  }
  ~WireRecorder() {
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  // The request, once its connection is over.
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

  int port = 0;

 private:
  void Serve() {
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return;
    DWORD timeout = 5000;
    setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    char chunk[4096];
    for (;;) {
      const std::size_t end = received_.find("\r\n\r\n");
      if (end != std::string::npos && received_.size() >= end + 4 + 35) break;
      const int n = recv(peer, chunk, sizeof(chunk), 0);
      if (n <= 0) break;
      received_.append(chunk, n);
    }
    const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
    send(peer, answer, sizeof(answer) - 1, 0);
    shutdown(peer, SD_SEND);
    closesocket(peer);
  }

  SOCKET listener_;
  std::thread thread_;
  std::string received_;
};

TEST(FormPostOnTheWire, HeadersGoInTheirOrderWithHostAdded) {
  WireRecorder wire;
  VirtualClock clock;
  const std::string host = "127.0.0.1:" + std::to_string(wire.port);
  EXPECT_EQ(HttpPostForm("http://" + host + "/zelguard/update1", kPlainBody), "{}");

  std::string request = wire.Received();
  const std::string hostLine = "Host: " + host + "\r\n";
  const std::size_t at = request.find(hostLine);
  ASSERT_NE(at, std::string::npos) << request;
  request.erase(at, hostLine.size());
  EXPECT_EQ(request,
            "POST /zelguard/update1 HTTP/1.1\r\n"
            "Accept: */*\r\n"
            "Accept-Language: zh-cn\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Referer: \r\n"
            "Content-Length: 35\r\n"
            "Connection: Keep-Alive\r\n"
            "Cache-Control: no-cache\r\n"
            "\r\n"
            "size=6&checksum=0&zip=0&data=616263");
}

}  // namespace
}  // namespace zel
