// The POST and the HTTP client against real peers on loopback: the reference update
// service (started by the test fixture, which writes its port into the file
// ZEL_SERVICE_PORT_FILE) and a bare socket that records the bytes on the wire.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <winsock2.h>

#include <fstream>
#include <future>
#include <map>
#include <nlohmann/json.hpp>

#include "protocol/FormPost.h"
#include "support/VirtualPlatform.h"

namespace zel {
namespace {

using Json = nlohmann::json;
constexpr const char* kPlainBody = "size=6&checksum=0&zip=0&data=616263";
// The POST of kPlainBody as it goes out, but for the "Host" header.
constexpr const char* kWireRequest =
    "POST /zelguard/update1 HTTP/1.1\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\nReferer: \r\nContent-Length: 35\r\n"
    "Connection: Keep-Alive\r\nCache-Control: no-cache\r\n\r\nsize=6&checksum=0&zip=0&data=616263";

// One exchange with the client under test, on a connection of its own.
std::optional<HttpResponse> Fetch(const std::string& method, const std::string& url,
                                  const std::string& body = "") {
  const auto client = CreateHttpClient();
  if (!client->Start({method, url, {{"Connection", "close"}}, body})) return std::nullopt;
  client->Wait();
  return client->IsDone() && client->Response() ? std::optional(*client->Response()) : std::nullopt;
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
  Json Received() {
    const auto answer = Fetch("GET", base_ + "/_test/requests");
    return answer && answer->status == 200 ? Json::parse(answer->body) : Json::array();
  }

  int port_ = 0;
  std::string base_;
  test::VirtualPlatform clock_;
};

TEST_F(UpdateServiceTest, ServiceReceivesExactlyTheFormRequestAndNothingIsCached) {
  EXPECT_EQ(Received().size(), 0u);
  // "abc" is no query the service accepts: its 400 ends the call after one attempt.
  EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "");
  const Json requests = Received();  // fresh from the service, not the first GET's copy
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["method"], "POST");
  EXPECT_EQ(requests[0]["target"], "/zelguard/update1");
  EXPECT_EQ(requests[0]["body"], kPlainBody);
  // The wire test below sees the header with an empty value ("Referer") that the
  // service's HTTP library drops.
  std::multimap<std::string, std::string> expected{{"Host", "127.0.0.1:" + std::to_string(port_)}}, received;
  for (const HttpHeader& header : ParseHeaderBlock(kWireRequest))
    if (!header.value.empty()) expected.emplace(header.name, header.value);
  for (const Json& header : requests[0]["headers"]) received.emplace(header[0], header[1]);
  EXPECT_EQ(received, expected);

  for (const std::string& fetched : {base_ + "/_test/requests", UpdateUrl()}) {
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoA(fetched.c_str(), nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << fetched;
  }
}

TEST_F(UpdateServiceTest, EmptyAnswerAndErrorStatusEndAfterOneAttempt) {
  const auto faults =
      Fetch("POST", base_ + "/_test/faults", R"([{"status":200,"body":""}, {"status":404}, {"status":500}])");
  ASSERT_TRUE(faults && faults->status == 200);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(HttpPostForm(UpdateUrl(), kPlainBody), "") << i;
  EXPECT_EQ(clock_.now, 0u);
  EXPECT_EQ(Received().size(), 3u);
}

TEST(UnreachableService, GivesNothingAfterThreeAttemptsAndTwoMinuteWaits) {
  test::VirtualPlatform clock;
  EXPECT_EQ(HttpPostForm("http://127.0.0.1:1/zelguard/update1", kPlainBody), "");
  EXPECT_EQ(clock.sleeps, 2);
  EXPECT_EQ(clock.now, 120000u);
}

// Answers one connection on the listener with {} and gives the request's bytes.
std::string RecordOneRequest(SOCKET listener) {
  const SOCKET peer = accept(listener, nullptr, nullptr);
  const DWORD timeoutMs = 5000;
  setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
  std::string received;
  char chunk[4096];
  for (int n;
       received.find(kPlainBody) == std::string::npos && (n = recv(peer, chunk, sizeof(chunk), 0)) > 0;)
    received.append(chunk, n);
  const std::string_view answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
  send(peer, answer.data(), static_cast<int>(answer.size()), 0);
  closesocket(peer);
  return received;
}

TEST(FormPostOnTheWire, HeadersGoInTheirOrderWithHostAddedAndRefererEmpty) {
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{AF_INET, 0, {}, {}};
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  listen(listener, 1);
  auto recorded = std::async(std::launch::async, RecordOneRequest, listener);

  test::VirtualPlatform clock;
  const std::string host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  EXPECT_EQ(HttpPostForm("http://" + host + "/zelguard/update1", kPlainBody), "{}");
  closesocket(listener);  // ends a wait for a connection that never came
  std::string request = recorded.get();
  WSACleanup();
  const std::size_t at = request.find("Host: " + host + "\r\n");
  ASSERT_NE(at, std::string::npos) << request;
  EXPECT_EQ(request.erase(at, host.size() + 8), kWireRequest);
}

}  // namespace
}  // namespace zel
