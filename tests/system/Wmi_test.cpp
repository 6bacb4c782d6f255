// The host a connectivity test pings.
#include "system/Wmi.h"

#include <gtest/gtest.h>

namespace zel {

TEST(WmiTexts, PingHostOfAnAddress) {
  for (const auto& [address, host] : {std::pair<std::string_view, std::string_view>{"https://h/x", "h"},
                                      {"h:81/x", "h:81"},  // the port stays
                                      {"/x", "/x"},        // a leading slash alone cuts nothing
                                      {"/x/y", ""},        // a later one cuts before the first
                                      {"a://", ""},
                                      {"h", "h"}})
    EXPECT_EQ(PingHostOf(address), host) << address;
}

}  // namespace zel
