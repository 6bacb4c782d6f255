#include "protocol/DownloadTask.h"

#include <gtest/gtest.h>

#include <vector>

namespace zel {

TEST(DownloadTaskFile, FourValidLinesEachEndedByCrLfOfWhichTheLastMayBeMissing) {
  const DownloadTask task{"2.1.0", "http://127.0.0.1:8080/packages/zel 2.1.0.exe", 3000000,
                          "d9e7e8fd8b9d56b3cad80867a906b2f8"};
  std::string text = TaskFileText(task);
  EXPECT_EQ(text,
            "2.1.0\r\nhttp://127.0.0.1:8080/packages/zel "
            "2.1.0.exe\r\n3000000\r\nd9e7e8fd8b9d56b3cad80867a906b2f8\r\n");
  text.resize(text.size() - 2);
  EXPECT_EQ(ParseTaskFileText(text), task);
  const DownloadTask largest{"", "https://\u4E2D\u6587.example/p.exe", 2147483647,
                             "D9E7E8FD8B9D56B3CAD80867A906B2F8"};
  EXPECT_EQ(ParseTaskFileText(TaskFileText(largest)), largest);
  // Anything but four valid lines is refused.
  const std::string md5(32, '0');
  const auto lines = [](const std::string& url, const std::string& size, const std::string& hash) {
    return "v\r\n" + url + "\r\n" + size + "\r\n" + hash + "\r\n";
  };
  for (const std::string& bad :
       std::vector<std::string>{"v\nhttp://h/p\n1\n" + md5 + "\n",  // LF alone is no line end here
                                lines("http://h/p", "1", md5) + "extra", lines("ftp://h/p", "1", md5),
                                lines("http://h/p", "0", md5), lines("http://h/p", "2147483648", md5),
                                lines("http://h/p", "1e3", md5), lines("http://h/p", "1", md5 + "00"),
                                lines("http://h/p", "1", md5.substr(1) + "g")})
    EXPECT_EQ(ParseTaskFileText(bad), std::nullopt) << bad;
}

}  // namespace zel
