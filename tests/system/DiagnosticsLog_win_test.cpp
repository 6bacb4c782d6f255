// The log's file as several processes of the product share it: whole lines, the bound
// with its one older file, and a file that cannot be opened.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "support/ScratchFolders_win.h"
#include "system/DiagnosticsLog.h"
#include "system/Folders.h"
#include "system/Process_win.h"

namespace zel {

TEST(DiagnosticsLog, ProcessesAppendingAtOnceKeepEveryLineWholeAndALogThatCannotBeOpenedIsSkipped) {
  test::ScratchFolders scratch;
  constexpr int kLines = 3000;              // two writers: about 850 KB in all, side by side
  constexpr std::uint32_t kLimit = 500000;  // so the log is moved aside once
  const UniqueKernelHandle go(CreateEventW(nullptr, TRUE, FALSE, L"Local\\ZelLogWritersGo"));
  ProcessInfo writers[2];
  for (ProcessInfo& writer : writers)
    ASSERT_TRUE(StartProcess(GetAppDir() + "log_writer.exe",
                             scratch.root + " " + std::to_string(kLines) + " " + std::to_string(kLimit),
                             writer));
  Sleep(500);  // both writers wait at the start line
  SetEvent(go.Get());
  for (ProcessInfo& writer : writers)
    ASSERT_EQ(WaitForSingleObject(writer.process.Get(), 60000), WAIT_OBJECT_0);

  const std::string older = test::ReadBytes(scratch.root + "\\zelpatcher.old.log");
  const std::string current = test::ReadBytes(scratch.root + "\\zelpatcher.log");
  // Moved aside once full, not before.
  EXPECT_TRUE(older.size() >= kLimit && older.size() < kLimit + 2000 && current.size() < kLimit)
      << older.size() << " " << current.size();

  // Every line whole, and each process's lines all there, in its own order.
  const std::regex whole(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+) checking\] line: (\d+) (\d+) 下载升级包\.{70}\r)");
  std::map<std::string, int> next;
  std::istringstream lines(older + current);
  for (std::string line; std::getline(lines, line);) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, whole)) << line;
    EXPECT_EQ(parts[1], parts[2]);
    EXPECT_EQ(std::stoi(parts[3]), next[parts[1]]++) << line;
  }
  EXPECT_EQ(next.size(), 2u);
  for (const auto& [process, count] : next) EXPECT_EQ(count, kLines) << process;

  // A log that cannot be opened, held or in a missing folder, is skipped and leaves
  // the last error as it was.
  const std::string log = scratch.root + "\\zelpatcher.log";
  ASSERT_TRUE(test::WriteBytes(log, "kept\r\n"));
  UniqueFile held(CreateFileW(Widen(log).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  for (const std::string& folder : {scratch.root, scratch.root + "\\missing"}) {
    OpenDiagnosticsLog(folder);
    SetLastError(ERROR_FILE_EXISTS);
    Log("step", "result");
    LogFailure("label", "what");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS)) << folder;
  }
  SetLogDestination(nullptr);
  held.Reset();
  EXPECT_TRUE(test::ReadBytes(log) == "kept\r\n" && !test::PathExists(scratch.root + "\\missing"));
}

}  // namespace zel
