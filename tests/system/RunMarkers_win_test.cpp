#include "system/RunMarkers.h"

#include <gtest/gtest.h>

#include "support/E2eWorld_win.h"
#include "support/VirtualPlatform.h"
#include "system/Folders.h"
#include "system/Process_win.h"
#include "system/Text.h"

namespace zel {
namespace {

using test::PathExists, test::ReadBytes, test::WriteBytes;

class RunMarkers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetProductDataDir(), productData); }

  test::ScratchFolders scratch;
  test::VirtualPlatform clock;  // no real pause after each start
  std::string productData = scratch.programData + "\\zelGuard\\";
};

// In a given folder, and in the program's folder when there is no ProgramData. The
// holder is a product process double: marker_holder.exe creates the marker NAME in
// FOLDER ("-" for the product data folder), then stays until it is ended.
TEST_F(RunMarkers, MarkerLivesExactlyAsLongAsItsFirstHolder) {
  const std::string name = "zelTest" + std::to_string(GetCurrentProcessId());  // the program folder is shared
  for (const std::string& folder : {scratch.temp + "\\", std::string()}) {
    if (folder.empty()) scratch.Point("ProgramData", std::nullopt);
    const std::string path = (folder.empty() ? GetAppDir() : folder) + name + ".run";
    ProcessInfo holder;
    ASSERT_TRUE(StartProcess(GetAppDir() + ZEL_MARKER_HOLDER,
                             name + " " + (folder.empty() ? "-" : folder) + " 20000", holder));
    // The holder makes the file first and writes its id into it after: wait for the id.
    const std::string id = std::to_string(holder.processId);
    ASSERT_TRUE(test::WaitFor([&] { return ReadBytes(path) == id; })) << path;
    EXPECT_TRUE(RunMarkerExists(AsciiLower(name), folder));

    // A second maker of the name gets no file of its own, and still reports success.
    EXPECT_TRUE(CreateRunMarker(name, folder) && ReadBytes(path) == id);

    TerminateProcess(holder.process.Get(), 9);
    ASSERT_EQ(WaitForSingleObject(holder.process.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(RunMarkerExists(name, folder) || PathExists(path));
  }
}

// The own marker cannot be deleted, a leftover one can; only the installing marker
// does not count as another, in any case of its name, and an unusable folder hides none.
TEST_F(RunMarkers, OwnMarkerStaysAndOnlyTheInstallingMarkerDoesNotCountAsAnother) {
  EXPECT_TRUE(CreateRunMarker("zelpatcher", ""));
  EXPECT_TRUE(!DeleteRunMarker("zelpatcher") && RunMarkerExists("zelpatcher", ""));
  ASSERT_TRUE(WriteBytes(productData + "zelcore.run", "1"));
  EXPECT_TRUE(DeleteRunMarker("zelcore") && !PathExists(productData + "zelcore.run"));

  const std::string folder = scratch.temp + "\\";
  EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", folder));
  ASSERT_TRUE(WriteBytes(folder + "ZELInstalling.RUN", "1"));
  EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", folder));
  ASSERT_TRUE(WriteBytes(folder + "zelpatcher.run", "2"));
  EXPECT_TRUE(OtherRunMarkerExists("zelinstalling", folder) && OtherRunMarkerExists("ZELPATCHER", folder));

  // An unusable product data folder never means that all the others are gone.
  scratch.Point("ProgramData", scratch.programData + "\\missing");
  EXPECT_TRUE(!CreateRunMarker("zelpatcher", "") && OtherRunMarkerExists("zelinstalling", ""));
  EXPECT_FALSE(WaitOtherRunMarkersGone(1000, 60, "") || clock.sleeps != 1);  // after one look
}

// Waits check one second apart, at most 60 times. At virtual time `at` (never for 0)
// the installing marker appears, or the other marker beside it vanishes; the wait
// gives `result` at virtual time `endsAt`.
TEST_F(RunMarkers, WaitsSeeAChangeAtTheNextCheck) {
  const std::tuple<bool, std::uint64_t, bool, std::uint64_t> cases[] = {
      {true, 2500, true, 3000},  {true, 59500, true, 60000},  {true, 0, false, 61000},
      {false, 2500, true, 3000}, {false, 59500, true, 60000}, {false, 0, false, 60000}};
  const std::string installing = productData + "zelinstalling.run", patcher = productData + "zelpatcher.run";
  for (const auto& [appear, at, result, endsAt] : cases) {
    SCOPED_TRACE(std::to_string(appear) + " at " + std::to_string(at));
    DeleteFileA(installing.c_str());
    ASSERT_TRUE(appear || (WriteBytes(installing, "1") && WriteBytes(patcher, "2")));
    test::VirtualPlatform waiting;
    if (at) waiting.At(at, [&] { appear ? WriteBytes(installing, "1") : DeleteFileA(patcher.c_str()); });
    const bool ended =
        appear ? WaitRunMarker("zelinstalling", 1000, 60) : WaitOtherRunMarkersGone(1000, 60, "");
    EXPECT_EQ(std::tuple(ended, waiting.now, waiting.pumps), std::tuple(result, endsAt, waiting.sleeps));
  }
}

}  // namespace
}  // namespace zel
