// Helpers shared by the service's tests: a scratch folder and update bodies built
// the way the program builds them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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

inline std::string Compress(const std::string& bytes) {  // a zlib stream at the default level
  uLongf length = compressBound(bytes.size());
  std::string out(length, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()),
           bytes.size());
  out.resize(length);
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

// One number read from the store, e.g. SELECT COUNT(*) FROM checkins; -1 on failure.
inline std::int64_t Count(CheckinStore& store, const std::string& sql) {
  TextRows rows;
  const std::string error = store.Select(sql, rows);
  EXPECT_EQ(error, "") << sql;
  return rows.empty() || rows[0].empty() ? -1 : std::stoll(rows[0][0]);
}

inline std::string ReadText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
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
