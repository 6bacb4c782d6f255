// The texts the WMI class sends: the host a connectivity test pings, and the queries.
#include "system/Wmi.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(WmiTexts, PingHostOfAnAddressAndTheQueriesAsSent) {
  for (const auto& [address, host] : {std::pair<std::string_view, std::string_view>{"https://h/x", "h"},
                                      {"h:81/x", "h:81"},  // the port stays
                                      {"/x", "/x"},        // a leading slash alone cuts nothing
                                      {"/x/y", ""},        // a later one cuts before the first
                                      {"a://", ""},
                                      {"h", "h"}})
    EXPECT_EQ(PingHostOf(address), host) << address;
  EXPECT_EQ(PingQuery("h"), "Select * From Win32_PingStatus Where Address = 'h'");
  EXPECT_EQ(ProcessQuery("a.exe"), "SELECT * FROM Win32_Process WHERE Name = 'a.exe'");
}

}  // namespace
}  // namespace zel
