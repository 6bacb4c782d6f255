#include "TestSupport.h"

#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <fstream>

#include "WireCodec.h"

namespace zel::svc::test {

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("zelsvc-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string file = File(name);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  return file;
}

std::string Compress(const std::string& bytes) {
  uLongf length = compressBound(bytes.size());
  std::string out(length, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()),
            bytes.size(), 6);
  out.resize(length);
  return out;
}

std::string MakeBody(const std::string& query, bool zip) {
  const std::string hex = BytesToHex(zip ? Compress(query) : query);
  return "size=" + std::to_string(hex.size()) + "&checksum=0&zip=" + (zip ? "1" : "0") + "&data=" + hex;
}

std::string ShortQuery(const std::string& app_ver, const std::string& uuid) {
  return "AppVer=" + HexEncodeText(app_ver) + "&ExecutionLevel=30&UUID=" + HexEncodeText(uuid) +
         "&OSMajorVer=3130";
}

std::string FullQuery(const std::string& app_ver, const std::string& uuid, const std::string& doc_app,
                      const std::string& doc_ver) {
  return ShortQuery(app_ver, uuid) + "&Arch=" + HexEncodeText("64") +
         "&OSName=" + HexEncodeText("Microsoft Windows 10 专业版") + "&OSVer=" + HexEncodeText("10.0.19045") +
         "&CPU=" + HexEncodeText("Intel(R) Core(TM) i5") + "&Resolution=" + HexEncodeText("1920*1080") +
         "&HttpsShellApp=" + HexEncodeText("chrome") + "&DocShellApp=" + HexEncodeText(doc_app) +
         "&DocShellVer=" + HexEncodeText(doc_ver) + "&OfficeAddins=" + HexEncodeText("{}");
}

}  // namespace zel::svc::test
