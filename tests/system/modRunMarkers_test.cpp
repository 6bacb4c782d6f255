#include "system/modRunMarkers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "system/ScratchFolders.h"
#include "system/VirtualClockSeam.h"
#include "system/modFolders.h"
#include "system/modProcess.h"

namespace zel {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

// Real time, for what other processes do.
bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 500 && !condition(); ++i) ::Sleep(20);
  return condition();
}

class RunMarkers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GetProductDataDir(), productData); }

  // A product process double: marker_holder.exe creates the marker NAME in FOLDER ("-"
  // for the product data folder), then lives for holdMs or until killed. Exit code 0
  // when CreateRunMarker reported True.
  ProcessInfo Holder(const std::string& name, const std::string& folder, int holdMs = 20000) {
    ProcessInfo holder;
    EXPECT_TRUE(StartProcess(GetAppDir() + ZEL_MARKER_HOLDER,
                             name + " " + (folder.empty() ? "-" : folder) + " " + std::to_string(holdMs),
                             holder));
    return holder;
  }
  static DWORD Ended(ProcessInfo& holder, bool kill) {
    if (kill) TerminateProcess(holder.hProcess.Get(), 9);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(holder.hProcess.Get(), 10000) == WAIT_OBJECT_0)
      GetExitCodeProcess(holder.hProcess.Get(), &code);
    return code;
  }

  test::ScratchFolders scratch;
  test::VirtualClockSeam clock;  // no real pause after each start
  std::string productData = scratch.programData + "\\zelGuard\\";
};

TEST_F(RunMarkers, MarkerLivesExactlyAsLongAsItsFirstHolder) {
  const std::string folder = scratch.temp + "\\";
  ProcessInfo first = Holder("zelpatcher", folder);
  ASSERT_TRUE(Eventually([&] { return RunMarkerExists("zelpatcher", folder); }));
  EXPECT_EQ(ReadBytes(folder + "zelpatcher.run"), std::to_string(first.dwProcessId));
  EXPECT_TRUE(RunMarkerExists("ZelPatcher", folder));

  // A second holder of the name gets no file of its own, and still reports success.
  ProcessInfo second = Holder("zelpatcher", folder, 0);
  EXPECT_EQ(Ended(second, false), 0u);
  EXPECT_EQ(ReadBytes(folder + "zelpatcher.run"), std::to_string(first.dwProcessId));

  Ended(first, true);
  EXPECT_FALSE(RunMarkerExists("zelpatcher", folder));
  EXPECT_FALSE(PathExists(folder + "zelpatcher.run"));
}

TEST_F(RunMarkers, WithoutProgramDataMarkersLiveInTheProgramFolder) {
  scratch.Point("ProgramData", std::nullopt);
  const std::string name = "zeltest" + std::to_string(GetCurrentProcessId());
  ProcessInfo holder = Holder(name, "");
  ASSERT_TRUE(Eventually([&] { return PathExists(GetAppDir() + name + ".run"); }));
  EXPECT_TRUE(RunMarkerExists(name, ""));
  Ended(holder, true);
  EXPECT_FALSE(PathExists(GetAppDir() + name + ".run"));
}

TEST_F(RunMarkers, OwnMarkerCannotBeDeletedALeftoverOneCan) {
  EXPECT_TRUE(CreateRunMarker("zelpatcher", ""));
  EXPECT_EQ(ReadBytes(productData + "zelpatcher.run"), std::to_string(GetCurrentProcessId()));
  EXPECT_FALSE(DeleteRunMarker("zelpatcher"));
  EXPECT_TRUE(RunMarkerExists("zelpatcher", ""));

  ASSERT_TRUE(WriteBytes(productData + "zelcore.run", "1"));
  EXPECT_TRUE(DeleteRunMarker("zelcore"));
  EXPECT_FALSE(PathExists(productData + "zelcore.run"));
  EXPECT_FALSE(DeleteRunMarker("zelcore"));
}

TEST_F(RunMarkers, OnlyTheInstallingMarkerDoesNotCountAsAnother) {
  for (const std::string& where : {std::string(), scratch.temp + "\\"}) {
    const std::string in = where.empty() ? productData : where;
    EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", where)) << in;
    ASSERT_TRUE(WriteBytes(in + "ZELInstalling.RUN", "1"));
    EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", where)) << in;
    ASSERT_TRUE(WriteBytes(in + "zelpatcher.run", "2"));
    EXPECT_TRUE(OtherRunMarkerExists("zelinstalling", where)) << in;
    EXPECT_TRUE(OtherRunMarkerExists("ZELPATCHER", where)) << in;
  }
}

TEST_F(RunMarkers, UnusableProductDataFolderNeverMeansAllOthersGone) {
  scratch.Point("ProgramData", scratch.programData + "\\missing");
  EXPECT_FALSE(CreateRunMarker("zelpatcher", ""));
  EXPECT_TRUE(OtherRunMarkerExists("zelinstalling", ""));
  EXPECT_FALSE(WaitOtherRunMarkersGone(1000, 60, ""));
  EXPECT_EQ(clock.sleeps, 1);
}

// Waits check one second apart, at most 60 times. A marker file changes at virtual
// time `at` (never for 0); the wait gives `result` at virtual time `endsAt`.
TEST_F(RunMarkers, WaitsSeeAChangeAtTheNextCheck) {
  const struct {
    std::uint64_t at;
    bool result;
    std::uint64_t endsAt;
  } appears[] = {{2500, true, 3000}, {59500, true, 60000}, {0, false, 61000}},
    vanishes[] = {{2500, true, 3000}, {59500, true, 60000}, {0, false, 60000}};
  const std::string installing = productData + "zelinstalling.run", patcher = productData + "zelpatcher.run";
  for (const auto& c : appears) {
    test::VirtualClockSeam waiting;
    DeleteFileA(installing.c_str());
    if (c.at) waiting.At(c.at, [&] { WriteBytes(installing, "1"); });
    EXPECT_EQ(WaitRunMarker("zelinstalling", 1000, 60), c.result) << c.at;
    EXPECT_EQ(waiting.now, c.endsAt) << c.at;
    EXPECT_EQ(waiting.pumps, waiting.sleeps) << c.at;
  }
  for (const auto& c : vanishes) {  // the installing marker stays; the other one goes
    test::VirtualClockSeam waiting;
    ASSERT_TRUE(WriteBytes(patcher, "2"));
    if (c.at) waiting.At(c.at, [&] { DeleteFileA(patcher.c_str()); });
    EXPECT_EQ(WaitOtherRunMarkersGone(1000, 60, ""), c.result) << c.at;
    EXPECT_EQ(waiting.now, c.endsAt) << c.at;
    EXPECT_EQ(waiting.pumps, waiting.sleeps) << c.at;
  }
}

}  // namespace
}  // namespace zel
