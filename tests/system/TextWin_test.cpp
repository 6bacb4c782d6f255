#include <windows.h>

#include <gtest/gtest.h>

#include "system/TextWin.h"

namespace zel {
namespace {

// Every Windows test runs with the Chinese locale, as the product's target systems do.
TEST(CodePage, AnsiCodePageIsGbk) { EXPECT_EQ(GetACP(), 936u); }

TEST(CodePage, ChineseRoundTripsThroughGbk) {
  const std::string text = "\xE5\x8D\x87\xE7\xBA\xA7";  // 升级
  const std::string ansi = ToAnsi(text);
  EXPECT_EQ(ansi, "\xC9\xFD\xBC\xB6");
  EXPECT_EQ(FromAnsi(ansi), text);
}

TEST(CodePage, LowerTextLowersBeyondAscii) {
  EXPECT_EQ(LowerText("C:\\\xC3\x89T\xC3\x89"), "c:\\\xC3\xA9t\xC3\xA9");  // ÉTÉ -> été
}

}  // namespace
}  // namespace zel
