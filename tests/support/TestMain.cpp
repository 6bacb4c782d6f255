// The test programs' main: the platform every test starts from is the real one
// (Win32 under Wine; on the host, the standard library's clock and zlib), as the
// program's own start-up would install it.
#include <gtest/gtest.h>

#include "support/TestPlatform.h"
#include "system/Platform.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  zel::PlatformScope platform(zel::test::BasePlatform());
  return RUN_ALL_TESTS();
}
