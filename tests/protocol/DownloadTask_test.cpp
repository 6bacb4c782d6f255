#include "protocol/DownloadTask.h"

#include <gtest/gtest.h>

#include <vector>

namespace zel {
namespace {

const DownloadTask kTask{"2.1.0", "http://127.0.0.1:8080/packages/zel 2.1.0.exe", 3000000,
                         "d9e7e8fd8b9d56b3cad80867a906b2f8"};

TEST(DownloadTaskFile, FourLinesEachEndedByCrLf) {
  EXPECT_EQ(TaskFileText(kTask),
            "2.1.0\r\nhttp://127.0.0.1:8080/packages/zel 2.1.0.exe\r\n3000000\r\nd9e7e8fd8b9d56b3cad80867a906b2f8\r\n");
  EXPECT_EQ(ParseTaskFileText(TaskFileText(kTask)), kTask);
  const DownloadTask chinese{"\u7248\u672C", "https://\u4E2D\u6587.example/p.exe", 2147483647,
                             "D9E7E8FD8B9D56B3CAD80867A906B2F8"};
  EXPECT_EQ(ParseTaskFileText(TaskFileText(chinese)), chinese);
}

TEST(DownloadTaskFile, LastLineEndMayBeMissingAndTheVersionMayBeEmpty) {
  std::string text = TaskFileText(kTask);
  text.resize(text.size() - 2);
  EXPECT_EQ(ParseTaskFileText(text), kTask);
  EXPECT_EQ(ParseTaskFileText("\r\nhttp://h/p\r\n1\r\n00000000000000000000000000000000\r\n")->version, "");
}

TEST(DownloadTaskFile, RefusesAnythingButFourValidLines) {
  const std::string url = "http://h/p", md5 = "00000000000000000000000000000000";
  const auto lines = [](std::string a, std::string b, std::string c, std::string d) {
    return a + "\r\n" + b + "\r\n" + c + "\r\n" + d + "\r\n";
  };
  for (const std::string& bad : std::vector<std::string>{
           std::string(), lines("v", url, "1", md5) + "extra",
           "v\nhttp://h/p\n1\n" + md5 + "\n",  // LF alone is no line end here
           std::string("v\r\nhttp://h/p\r\n1\r\n"),  // three lines
           lines("v", "ftp://h/p", "1", md5), lines("v", url, "2147483648", md5), lines("v", url, "-1", md5),
           lines("v", url, "1e3", md5), lines("v", url, "1", md5.substr(1)),
           lines("v", url, "1", "0000000000000000000000000000000g")})
    EXPECT_EQ(ParseTaskFileText(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace zel
