#include "companion/DownloadRules.h"

#include <gtest/gtest.h>

namespace zel::companion {

const DownloadTask kTask{"2.1.0", "http://h/p.exe", 1000, "D9E7E8FD8B9D56B3CAD80867A906B2F8"};

TEST(CompanionArguments, TaskFileAndFolderOrHelpAlone) {
  EXPECT_EQ(ParseArguments({"C:\\t\\zqt1.tmp", "C:\\u\\zelGuard"})->folder, "C:\\u\\zelGuard");
  EXPECT_TRUE(ParseArguments({"--help"})->help && ParseArguments({"/?"})->help);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {}, {"task"}, {"task", "folder", "extra"}, {"", "folder"}, {"task", ""}})
    EXPECT_EQ(ParseArguments(bad), std::nullopt) << bad.size();
}

TEST(CompanionResume, OnlyAPartialFileOfTheSamePackageIsContinued) {
  // A complete file leaves only the check; none, or one longer than the package, is
  // started again.
  for (const auto& [held, offset] : {std::pair{400, 400u}, {1000, 1000u}, {0, 0u}, {1001, 0u}})
    EXPECT_EQ(ResumeOffset(kTask, kTask, held), offset) << held;
  DownloadTask otherVersion = kTask;
  otherVersion.version = "2.0.9";  // the same file under another version text
  EXPECT_EQ(ResumeOffset(kTask, otherVersion, 400), 400u);

  EXPECT_EQ(ResumeOffset(kTask, std::nullopt, 400), 0u);  // no record of what it holds
  for (auto change : {+[](DownloadTask& t) { t.url += "?2"; }, +[](DownloadTask& t) { t.size = 2000; },
                      +[](DownloadTask& t) { t.md5[0] = 'E'; }}) {
    DownloadTask other = kTask;
    change(other);
    EXPECT_EQ(ResumeOffset(kTask, other, 400), 0u);
  }
}

TEST(CompanionAnswers, EachAnswerIsJudgedByStatusRangeAndLength) {
  EXPECT_EQ(JudgeAnswer(400, 1000, 206, "bytes 400-999/1000", 600), AnswerUse::kAppend);
  // The whole file, asked for or not: written from byte 0.
  EXPECT_EQ(JudgeAnswer(400, 1000, 200, "", 1000), AnswerUse::kFromStart);
  EXPECT_EQ(JudgeAnswer(400, 1000, 200, "", std::nullopt), AnswerUse::kFromStart);
  EXPECT_EQ(JudgeAnswer(0, 1000, 206, "bytes 0-999/1000", 1000), AnswerUse::kFromStart);
  // Another range, another total or no range at all for a resume: start over.
  for (const char* range : {"bytes 0-999/1000", "bytes 400-1099/1100", "", "bytes */1000"})
    EXPECT_EQ(JudgeAnswer(400, 1000, 206, range, std::nullopt), AnswerUse::kStartOver) << range;
  EXPECT_EQ(JudgeAnswer(400, 1000, 416, "bytes */300", std::nullopt), AnswerUse::kStartOver);
  // Wrong sizes, refusals and passing trouble.
  EXPECT_EQ(JudgeAnswer(0, 1000, 200, "", 1001), AnswerUse::kWrongSize);
  EXPECT_EQ(JudgeAnswer(400, 1000, 200, "", 999), AnswerUse::kWrongSize);
  EXPECT_EQ(JudgeAnswer(0, 1000, 206, "bytes 0-1099/1100", 1100), AnswerUse::kWrongSize);
  EXPECT_EQ(JudgeAnswer(0, 1000, 206, "bytes 0-499/1000", 500), AnswerUse::kRefused);  // a part never asked for
  EXPECT_EQ(JudgeAnswer(0, 1000, 416, "bytes */1000", std::nullopt), AnswerUse::kRefused);
  for (const int status : {204, 301, 304, 400, 403, 404, 410})
    EXPECT_EQ(JudgeAnswer(400, 1000, status, "", std::nullopt), AnswerUse::kRefused) << status;
  for (const int status : {408, 429, 500, 502, 503, 504, 599})
    EXPECT_EQ(JudgeAnswer(400, 1000, status, "", std::nullopt), AnswerUse::kRetry) << status;
  EXPECT_EQ(std::pair(RetryPauseMs(1), RetryPauseMs(kRetries)), std::pair(500u, 2000u));
}

}  // namespace zel::companion
