// The POST and the HTTP client against real peers on loopback: the reference update
// service (started by the test fixture in ZEL_SERVICE_DIR) and the request catcher,
// which records the bytes on the wire.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <winsock2.h>

#include <nlohmann/json.hpp>

#include "protocol/FormPost.h"
#include "support/E2eWorld_win.h"
#include "support/LoopbackServers_win.h"
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

const test::LoopbackServers kServers(ZEL_SERVICE_DIR);

// One client for one request after another: a request abandoned while the service
// still holds its answer is cut off, and the next one gets its own answer whole.
TEST(UpdateService, ClientAnswersTheNextRequestAfterAnAbandonedOne) {
  const test::ServiceControl service = kServers.Service();
  ASSERT_TRUE(service.Reset()) << "no update service at " << kServers.ServiceBase();
  const std::string body(300000, 'x');
  ASSERT_TRUE(
      service.AddFaults(Json::array({{{"delay_ms", 10000}}, {{"status", 200}, {"body", body}}}).dump()));
  const std::string url = kServers.ServiceBase() + "/zelguard/update1";
  const auto client = CreateHttpClient();
  ASSERT_TRUE(client->Start({"POST", url, {}, kPlainBody}));
  ASSERT_TRUE(test::WaitFor([&] { return Json::parse(service.Requests()).size() == 1; }, 5000));
  EXPECT_FALSE(client->IsDone());

  const DWORD start = GetTickCount();
  ASSERT_TRUE(client->Start({"POST", url, {}, kPlainBody}));
  client->Wait();
  EXPECT_LT(GetTickCount() - start, 5000u);  // not queued behind the abandoned one
  EXPECT_TRUE(client->IsDone() && client->Response() && client->Response()->status == 200 &&
              client->Response()->body == Bytes(body.begin(), body.end()));
}

// A service that takes the query and never answers: each attempt ends through the
// client's receive time-out, and the query gives up after three attempts and two
// 60-second waits instead of holding the run for ever. (The time-outs are cut short
// here; the program's are 60 s to connect and 30 s to send and to receive.)
TEST(UpdateService, SilentServiceEndsTheQueryAfterThreeTimedOutAttempts) {
  test::OneRequestCatcher silent(std::nullopt);
  ASSERT_NE(silent.Port(), 0);
  test::VirtualPlatform clock;
  clock.newHttpClient = [] {
    return CreateHttpClient({.connectMs = 5000, .sendMs = 5000, .receiveMs = 1000});
  };
  const DWORD start = GetTickCount();
  const std::string answer =
      HttpPostForm("http://127.0.0.1:" + std::to_string(silent.Port()) + "/zelguard/update1", kPlainBody);
  const DWORD took = GetTickCount() - start;
  // Three attempts, each ended by the time-out.
  EXPECT_EQ(std::tuple(answer, took < 15000, clock.now), std::tuple("", true, 120000u)) << took;
}

// The one place the header order is checked: the bytes on the wire.
TEST(FormPostOnTheWire, HeadersGoInTheirOrderWithHostAddedAndRefererEmpty) {
  test::OneRequestCatcher catcher("{}");
  test::VirtualPlatform clock;
  const std::string host = "127.0.0.1:" + std::to_string(catcher.Port());
  const std::string url = "http://" + host + "/zelguard/update1";
  EXPECT_EQ(HttpPostForm(url, kPlainBody), "{}");
  std::string head, body;
  ASSERT_TRUE(catcher.Wait(10000, head, body));
  std::string request = head + "\r\n\r\n" + body;
  const std::size_t at = request.find("Host: " + host + "\r\n");
  ASSERT_NE(at, std::string::npos) << request;
  EXPECT_EQ(request.erase(at, host.size() + 8), kWireRequest);
  // Nothing of the exchange is kept in the system's cache.
  DWORD size = 0;
  EXPECT_TRUE(!GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) && GetLastError() == ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace zel
