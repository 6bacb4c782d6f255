#include "system/modRunMarkers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <optional>

#include "system/ScratchFolders.h"
#include "system/TextWin.h"
#include "system/UniqueHandle.h"
#include "system/VirtualClockSeam.h"
#include "system/modFolders.h"

namespace zel {
namespace {

using test::PathExists;
using test::ReadBytes;
using test::WriteBytes;

// Real time, for what other processes do.
bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    ::Sleep(20);
  }
  return condition();
}

std::wstring QuotedArgument(const std::string& text) {
  std::wstring quoted = L"\"" + Widen(text);
  if (!text.empty() && text.back() == '\\') quoted += L'\\';  // keeps the closing quote a quote
  return quoted + L"\"";
}

// A product process double (marker_holder.exe): creates a run marker, then lives until
// it is killed or its hold time is up. It sees this process's environment.
class Holder {
 public:
  Holder(const std::string& name, const std::string& folder, std::optional<DWORD> holdMs = std::nullopt) {
    std::wstring commandLine = QuotedArgument(GetAppDir() + ZEL_MARKER_HOLDER) + L" " + QuotedArgument(name) +
                               L" " + (folder.empty() ? std::wstring(L"-") : QuotedArgument(folder));
    if (holdMs) commandLine += L" " + std::to_wstring(*holdMs);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started)) {
      process_.Reset(started.hProcess);
      CloseHandle(started.hThread);
      pid = started.dwProcessId;
    }
  }
  ~Holder() { Kill(); }

  // Ends the process as a forced kill does, and waits until it is gone.
  void Kill() {
    if (!process_) return;
    TerminateProcess(process_.Get(), 9);
    WaitForSingleObject(process_.Get(), 10000);
    process_.Reset();
  }
  // The exit code: 0 when CreateRunMarker reported True.
  DWORD WaitExit() {
    DWORD code = STILL_ACTIVE;
    if (process_ && WaitForSingleObject(process_.Get(), 10000) == WAIT_OBJECT_0)
      GetExitCodeProcess(process_.Get(), &code);
    return code;
  }

  DWORD pid = 0;

 private:
  UniqueKernelHandle process_;
};

class RunMarkers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PathExists(GetAppDir() + ZEL_MARKER_HOLDER));
    ASSERT_EQ(GetProductDataDir(), productData);
  }
  test::ScratchFolders scratch;
  std::string productData = scratch.programData + "\\zelGuard\\";
};

TEST_F(RunMarkers, MarkerLivesExactlyAsLongAsItsHolder) {
  const std::string folder = scratch.root + "\\markers\\";
  test::MakeFolder(folder);
  Holder first("zelpatcher", folder);
  ASSERT_TRUE(Eventually([&] { return RunMarkerExists("zelpatcher", folder); }));
  EXPECT_EQ(ReadBytes(folder + "zelpatcher.run"), std::to_string(first.pid));
  EXPECT_TRUE(RunMarkerExists("ZelPatcher", folder));

  // A second holder of the name gets no file of its own, and still reports success.
  Holder second("zelpatcher", folder, 0);
  EXPECT_EQ(second.WaitExit(), 0u);
  EXPECT_EQ(ReadBytes(folder + "zelpatcher.run"), std::to_string(first.pid));

  first.Kill();
  EXPECT_FALSE(RunMarkerExists("zelpatcher", folder));
  EXPECT_FALSE(PathExists(folder + "zelpatcher.run"));
}

TEST_F(RunMarkers, HolderCannotDeleteItsOwnMarker) {
  EXPECT_TRUE(CreateRunMarker("zelpatcher", ""));
  ASSERT_EQ(ReadBytes(productData + "zelpatcher.run"), std::to_string(GetCurrentProcessId()));
  EXPECT_FALSE(DeleteRunMarker("zelpatcher"));
  EXPECT_TRUE(RunMarkerExists("zelpatcher", ""));
  // Nobody can: the holder does not share deletion.
  EXPECT_FALSE(DeleteFileA((productData + "zelpatcher.run").c_str()));
}

TEST_F(RunMarkers, LeftoverMarkerFilesCanBeDeleted) {
  ASSERT_TRUE(WriteBytes(productData + "zelpatcher.run", "1"));
  EXPECT_TRUE(DeleteRunMarker("zelpatcher"));
  EXPECT_FALSE(PathExists(productData + "zelpatcher.run"));
  EXPECT_FALSE(DeleteRunMarker("zelpatcher"));
}

TEST_F(RunMarkers, OnlyTheInstallingMarkerDoesNotCountAsAnother) {
  const std::string folder = scratch.root + "\\other\\";
  test::MakeFolder(folder);
  for (const std::string& where : {std::string(), folder}) {
    const std::string in = where.empty() ? GetProductDataDir() : where;
    EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", where)) << in;
    ASSERT_TRUE(WriteBytes(in + "ZELInstalling.RUN", "1"));
    EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", where)) << in;
    // Hidden files are not listed, so they are no markers.
    ASSERT_TRUE(WriteBytes(in + "zelcore.run", "2"));
    ASSERT_TRUE(SetFileAttributesA((in + "zelcore.run").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(OtherRunMarkerExists("zelinstalling", where)) << in;
    ASSERT_TRUE(WriteBytes(in + "zelpatcher.run", "3"));
    EXPECT_TRUE(OtherRunMarkerExists("zelinstalling", where)) << in;
    EXPECT_TRUE(OtherRunMarkerExists("ZELPATCHER", where)) << in;
  }
}

TEST_F(RunMarkers, WithoutProgramDataMarkersLiveInTheProgramFolder) {
  scratch.Point("ProgramData", std::nullopt);
  const std::string name = "zeltest" + std::to_string(GetCurrentProcessId());
  const std::string path = GetAppDir() + name + ".run";
  Holder holder(name, "");
  ASSERT_TRUE(Eventually([&] { return PathExists(path); }));
  EXPECT_TRUE(RunMarkerExists(name, ""));
  holder.Kill();
  EXPECT_FALSE(PathExists(path));
}

TEST_F(RunMarkers, UnusableProductDataFolder) {
  scratch.Point("ProgramData", scratch.programData + "\\missing");
  test::VirtualClockSeam clock;
  EXPECT_FALSE(CreateRunMarker("zelpatcher", ""));
  EXPECT_FALSE(RunMarkerExists("zelpatcher", ""));
  EXPECT_FALSE(DeleteRunMarker("zelpatcher"));
  // Whether other processes still run is unknown: never taken for "all gone".
  EXPECT_TRUE(OtherRunMarkerExists("zelinstalling", ""));
  EXPECT_FALSE(WaitOtherRunMarkersGone(1000, 60, ""));
  EXPECT_EQ(clock.sleeps, 1);
}

TEST_F(RunMarkers, WaitForTheInstallingMarker) {
  {  // The upgrading copy starts 2.5 s into the wait: seen at the third check.
    test::VirtualClockSeam clock;
    std::optional<Holder> copy;
    clock.At(2500, [&] {
      copy.emplace("zelinstalling", "");
      ASSERT_TRUE(Eventually([&] { return PathExists(productData + "zelinstalling.run"); }));
    });
    EXPECT_TRUE(WaitRunMarker("zelinstalling", 1000, 60));
    EXPECT_EQ(clock.now, 3000u);
  }
  {  // Never: given up after 60 checks, one second apart.
    test::VirtualClockSeam clock;
    ASSERT_TRUE(WriteBytes(productData + "zelpatcher.run", "1"));
    EXPECT_FALSE(WaitRunMarker("zelinstalling", 1000, 60));
    EXPECT_EQ(clock.sleeps, 61);
    EXPECT_EQ(clock.pumps, 61);
  }
}

TEST_F(RunMarkers, WaitForTheOtherMarkersToVanish) {
  ASSERT_TRUE(WriteBytes(productData + "zelinstalling.run", "1"));
  {  // The checking instance is killed 2.5 s into the wait.
    test::VirtualClockSeam clock;
    Holder checking("zelpatcher", "");
    ASSERT_TRUE(Eventually([&] { return RunMarkerExists("zelpatcher", ""); }));
    clock.At(2500, [&] { checking.Kill(); });
    EXPECT_TRUE(WaitOtherRunMarkersGone(1000, 60, ""));
    EXPECT_EQ(clock.now, 3000u);
  }
  {  // Another product process stays: 60 checks, then give up.
    test::VirtualClockSeam clock;
    ASSERT_TRUE(WriteBytes(productData + "zelcore.run", "2"));
    EXPECT_FALSE(WaitOtherRunMarkersGone(1000, 60, ""));
    EXPECT_EQ(clock.now, 60000u);
    EXPECT_EQ(clock.pumps, 60);
  }
}

}  // namespace
}  // namespace zel
