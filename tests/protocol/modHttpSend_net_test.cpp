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
    return Json::parse(answer->body);
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
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[0]["body"], kPlainBody);
  std::map<std::string, std::string> expected{{"Host", "127.0.0.1:" + std::to_string(port_)}};
  for (const HttpHeader& header : FormPostRequest(UpdateUrl(), kPlainBody).headers)
    expected[header.name] = header.value;
  std::map<std::string, std::string> received;
  for (const Json& header : requests[0]["headers"])
    EXPECT_TRUE(received.emplace(header[0], header[1]).second) << "sent twice: " << header[0];
  // The service's HTTP library drops headers with an empty value; that "Referer"
  // goes out empty is checked on the wire below.
  received.try_emplace("Referer", "");
  EXPECT_EQ(received, expected);
  EXPECT_EQ(received["Content-Length"], "35");
}

TEST_F(UpdateServiceTest, QueriesPlainAndCompressedGetTheAnswerText) {
  VirtualClock clock;
  const std::string shortQuery = "AppVer=" + HexEncodeText("1.0.0") + "&ExecutionLevel=" + HexEncodeText("1");
  const std::string longQuery =
      shortQuery + "&OSName=" + HexEncodeText("Windows 10 \xE4\xB8\xAD\xE6\x96\x87\xE7\x89\x88");
  ASSERT_GE(longQuery.size(), 80u);
  for (const std::string& query : {shortQuery, longQuery}) {
    const JsonAnswer answer(HttpPostForm(UpdateUrl(), EncodeRequestBody(query)));
    EXPECT_EQ(answer.GetInteger("code"), 1);
    EXPECT_EQ(answer.GetText("data.action"), "31");
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
  VirtualClock clock;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "") << i;
  EXPECT_EQ(clock.now, 0u);
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
}

TEST_F(UpdateServiceTest, ClientCanBePolledOrDroppedWhileTheAnswerIsUnderWay) {
  AddFaults(R"([{"delay_ms":1000}, {"delay_ms":20000}])");
  auto client = CreateHttpClient();
  ASSERT_TRUE(client->Start(FormPostRequest(UpdateUrl(), kPlainBody)));
  EXPECT_FALSE(client->IsDone());
  EXPECT_EQ(client->Response(), nullptr);
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (!client->IsDone() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_NE(client->Response(), nullptr);
  EXPECT_EQ(client->Response()->status, 400);
  EXPECT_EQ(client->Response()->Header("content-type"), "application/json; charset=utf-8");

  ASSERT_TRUE(client->Start(FormPostRequest(UpdateUrl(), kPlainBody)));
  const auto dropped = Clock::now();
  client.reset();
  EXPECT_LT(Clock::now() - dropped, std::chrono::seconds(2));
}

TEST_F(UpdateServiceTest, NothingFetchedEntersTheUrlCache) {
  const std::string url = base_ + "/_test/requests";
  ASSERT_TRUE(Fetch("GET", url));
  ASSERT_TRUE(Fetch("POST", UpdateUrl(), kPlainBody));
  EXPECT_EQ(Received().size(), 1u);  // fresh from the service, not the copy of the first GET
  for (const std::string& fetched : {url, UpdateUrl()}) {
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoA(fetched.c_str(), nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << fetched;
  }
}

// Answers one connection on 127.0.0.1 with {} and keeps the request's bytes.
class WireRecorder {
 public:
  WireRecorder() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{AF_INET, 0, {}, {}};
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
    Received();
    WSACleanup();
  }
  std::string Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  int port = 0;

 private:
  void Serve() {
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return;
    const DWORD timeoutMs = 5000;
    setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    char chunk[4096];
    for (int n;
         received_.find(kPlainBody) == std::string::npos && (n = recv(peer, chunk, sizeof(chunk), 0)) > 0;)
      received_.append(chunk, n);
    const std::string_view answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
    send(peer, answer.data(), static_cast<int>(answer.size()), 0);
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
