// Helpers shared by the service's tests: a scratch folder and update bodies built
// the way the program builds them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "CheckinStore.h"
#include "RequestBody.h"
#include "WireCodec.h"

namespace zel::svc::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
struct ScratchDir {
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }
  const std::filesystem::path path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "zelsvc-test-XXXXXX").string();
    return std::filesystem::path(mkdtemp(name.data()));
  }();
};

// A zlib stream at the default level, or a gzip member with gzip set.
inline std::string Compress(const std::string& bytes, bool gzip = false) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, bytes.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// size=N&checksum=0&zip=Z&data=D for a query text, compressed first when zip is set.
inline std::string MakeBody(const std::string& query, bool zip) {
  const std::string hex = BytesToHex(zip ? Compress(query) : query);
  return "size=" + std::to_string(hex.size()) + "&checksum=0&zip=" + (zip ? "1" : "0") + "&data=" + hex;
}

// Query texts as the program sends them, with hex-encoded values.
inline std::string ShortQuery(const std::string& appVer, const std::string& uuid) {
  return "AppVer=" + HexEncodeText(appVer) + "&ExecutionLevel=30&UUID=" + HexEncodeText(uuid) +
         "&OSMajorVer=3130";
}
inline std::string FullQuery(const std::string& appVer, const std::string& uuid, const std::string& docApp,
                             const std::string& docVer) {
  return ShortQuery(appVer, uuid) + "&Arch=3634&OSName=" + HexEncodeText("Microsoft Windows 10 专业版") +
         "&OSVer=" + HexEncodeText("10.0.19045") + "&CPU=" + HexEncodeText("Intel(R) Core(TM) i5") +
         "&Resolution=" + HexEncodeText("1920*1080") + "&HttpsShellApp=" + HexEncodeText("chrome") +
         "&DocShellApp=" + HexEncodeText(docApp) + "&DocShellVer=" + HexEncodeText(docVer) +
         "&OfficeAddins=7B7D";
}

inline UpdateQuery Parse(const std::string& queryText) {
  UpdateQuery query;
  EXPECT_EQ(ParseQueryFields(queryText, query), "") << queryText;
  return query;
}

// The first column of what a query selects, e.g. SELECT uuid FROM checkins.
inline std::set<std::string> Column(CheckinStore& store, const std::string& sql) {
  TextRows rows;
  EXPECT_EQ(store.Select(sql, rows), "") << sql;
  std::set<std::string> values;
  for (const auto& row : rows) values.insert(row.at(0));
  return values;
}
// One number, e.g. SELECT COUNT(*) FROM checkins; -1 when there is none.
inline std::int64_t Count(CheckinStore& store, const std::string& sql) {
  const std::set<std::string> values = Column(store, sql);
  return values.size() == 1 ? std::stoll(*values.begin()) : -1;
}

inline std::string ReadText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// What a shell command writes to stdout; nothing when it fails.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    if (pclose(p) != 0) out.clear();
  }
  return out;
}

// Checks a condition until it holds or the time is up.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace zel::svc::test
