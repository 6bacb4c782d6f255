// The package information of an offer, read from the answer as the update query reads
// it and checked before anything is downloaded.
#include "driver/PackageSteps.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

PackageCheck Check(const std::string& updateInfo, bool signedAnswer = false) {
  const std::string answer =
      R"({"code":1,"message":"","data":{"action":"33","updateinfo":{)" + updateInfo + "}}}";
  return CheckPackageInfo(ReadAnswer(answer, "").package, signedAnswer);
}

TEST(PackageInfo, InformationThatCannotBeUsedEndsTheRunWithItsStatus) {
  const std::string url = R"("packageurl":"687474703A2F2F682F70")";  // http://h/p
  const std::pair<std::string, std::string> rows[] = {
      {R"("size":12,"hash":"AB",)" + url, ""},
      {R"("size":0,"hash":"AB",)" + url, "获取校验信息失败"},
      {R"("size":-5,"hash":"AB",)" + url, "获取校验信息失败"},
      {R"("size":"12","hash":"AB",)" + url, "获取校验信息失败"},  // a size sent as a text is no size
      {R"("size":12,"hash":"AB")", "获取校验信息失败"},
      {R"("size":12,"hash":"AB","packageurl":"")", "获取校验信息失败"},
      {R"("size":12,)" + url, "未找到校验值"},
      {R"("size":12,"hash":"",)" + url, "未找到校验值"},
      {R"("size":12,"hash":"AB","packageurl":"7G")", "获取升级包地址失败"},
      {R"("size":0,"hash":"","packageurl":"7G")", "获取校验信息失败"},  // the first failed check tells
  };
  for (const auto& [updateInfo, failure] : rows) {
    const PackageCheck check = Check(updateInfo);
    EXPECT_EQ(check.failure + "|" + check.address, failure + "|" + (failure.empty() ? "http://h/p" : ""))
        << updateInfo;
  }
  // A signed answer names the package's SHA-256 too, as 64 hex digits.
  const std::string named = R"("size":12,"hash":"AB",)" + url + R"(,"sha256":")";
  EXPECT_EQ(Check(named + std::string(64, 'a') + "\"", true).failure, "");
  EXPECT_EQ(Check(named + std::string(63, 'a') + "\"", true).failure, "未找到校验值");
  EXPECT_EQ(Check(R"("size":12,"hash":"AB",)" + url, true).failure, "未找到校验值");
}

}  // namespace
}  // namespace zel
