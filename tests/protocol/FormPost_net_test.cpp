// The POST and the HTTP client against real peers on loopback: the reference update
// service (started by the test fixture, which writes its port into the file
// ZEL_SERVICE_PORT_FILE) and the request catcher, which records the bytes on the wire.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <winsock2.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "protocol/FormPost.h"
#include "support/RequestCatcher_win.h"
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

// One client for one request after another: a request abandoned while the service
// still holds its answer is cut off, and the next one gets its own answer whole.
TEST_F(UpdateServiceTest, ClientAnswersTheNextRequestAfterAnAbandonedOne) {
  const std::string body(300000, 'x');
  Json faults = Json::parse(R"([{"delay_ms":10000}, {"status":200}])");
  faults[1]["body"] = body;
  const auto added = Fetch("POST", base_ + "/_test/faults", faults.dump());
  ASSERT_TRUE(added && added->status == 200);
  const auto client = CreateHttpClient();
  ASSERT_TRUE(client->Start({"POST", UpdateUrl(), {}, kPlainBody}));
  for (int poll = 0; poll < 500 && Received().empty(); ++poll) Sleep(10);
  ASSERT_EQ(Received().size(), 1u);
  EXPECT_FALSE(client->IsDone());

  const DWORD start = GetTickCount();
  ASSERT_TRUE(client->Start({"POST", UpdateUrl(), {}, kPlainBody}));
  client->Wait();
  EXPECT_LT(GetTickCount() - start, 5000u);  // not queued behind the abandoned one
  ASSERT_TRUE(client->IsDone() && client->Response());
  EXPECT_EQ(client->Response()->status, 200);
  EXPECT_TRUE(client->Response()->body == Bytes(body.begin(), body.end()));
}

// The one place the header order is checked: the bytes on the wire.
TEST(FormPostOnTheWire, HeadersGoInTheirOrderWithHostAddedAndRefererEmpty) {
  test::OneRequestCatcher catcher("{}");
  ASSERT_NE(catcher.Port(), 0);
  test::VirtualPlatform clock;
  const std::string host = "127.0.0.1:" + std::to_string(catcher.Port());
  EXPECT_EQ(HttpPostForm("http://" + host + "/zelguard/update1", kPlainBody), "{}");
  std::string head, body;
  ASSERT_TRUE(catcher.Wait(10000, head, body));
  std::string request = head + "\r\n\r\n" + body;
  const std::size_t at = request.find("Host: " + host + "\r\n");
  ASSERT_NE(at, std::string::npos) << request;
  EXPECT_EQ(request.erase(at, host.size() + 8), kWireRequest);
}

}  // namespace
}  // namespace zel
