// Helpers shared by the service's tests: a scratch folder, update bodies built the
// way the program builds them, the processes a test starts and always ends (the
// service program, nginx and a throwaway PostgreSQL cluster), and signing keys made
// once per test process with a check of a signed answer done the way the program
// does it: from the public key line alone, with the signed text rebuilt here.
//
// A service on loopback for tests that drive it over real HTTP: a catalog offering
// 2.1.0, a 3 MB package, an SQLite store (or another store the test opens), and
// raw connections for clients that misbehave.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CheckinStore.h"
#include "RequestBody.h"
#include "Signing.h"
#include "UpdateServer.h"
#include "WireCodec.h"

namespace zel::svc::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
struct ScratchDir {
  ~ScratchDir() { std::filesystem::remove_all(path, ec); }
  std::string File(const std::string& name) const { return (path / name).string(); }
  // Creates the folders of the name as needed.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(File(name)).parent_path());
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }
  const std::filesystem::path path = [] {
    std::string name = (std::filesystem::temp_directory_path() / "zelsvc-test-XXXXXX").string();
    return std::filesystem::path(mkdtemp(name.data()));
  }();
  std::error_code ec;  // of the removal, which a test need not see
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
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
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

class ChildProcess {
 public:
  // Starts the program with its stdout on a pipe (read by ListeningPort) and its
  // stderr appended to the file given.
  ChildProcess(const std::vector<std::string>& args, const std::string& errFile) {
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if ((pid_ = fork()) == 0) {  // only calls that are safe between fork and exec
      dup2(out[1], STDOUT_FILENO), dup2(err, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(err), close(out[1]);
    out_ = out[0];
  }
  ~ChildProcess() {
    Stop(SIGKILL);
    close(out_);
  }

  // The port of the first line "listening on HOST:PORT", or 0 after the time given.
  int ListeningPort(int timeoutMs = 20000) {
    char line[256] = {};
    pollfd ready{out_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0 || read(out_, line, sizeof line - 1) <= 0) return 0;
    std::cmatch m;
    return std::regex_search(line, m, std::regex(R"(listening on [^:]+:(\d+))")) ? std::stoi(m[1]) : 0;
  }

  // Signals the process and waits up to 10 s for it to end: its exit code, or -1
  // when a signal ended it.
  int Stop(int signal = SIGTERM) {
    if (pid_ > 0) {
      kill(pid_, signal);
      if (!Eventually([&] { return waitpid(pid_, &status_, WNOHANG) != 0; }, std::chrono::seconds(10)))
        kill(pid_, SIGKILL), waitpid(pid_, &status_, 0);
      pid_ = -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
};

// A new, empty database in the PostgreSQL cluster of this test process, which runs on a
// socket in a scratch folder from the first call until the process ends.
inline std::string NewDatabase() {
  static const struct Cluster {
    ~Cluster() { CommandOutput(script + "stop " + dir.path.string()); }
    const ScratchDir dir;
    const std::string script = "sh " ZELSVC_TEST_DIR "/pg-cluster.sh ";
    const std::string conninfo = CommandOutput(script + "start " + dir.path.string());
  } cluster;
  static int databases = 0;
  const std::string name = "zel" + std::to_string(++databases);
  const std::string command =
      "psql -q -X '" + cluster.conninfo + "' -c 'CREATE DATABASE " + name + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return std::regex_replace(cluster.conninfo, std::regex("dbname=\\w+\n?"), "dbname=" + name);
}

// A key of each kind, made once per test process.
inline std::shared_ptr<const SigningKey> TestKey(KeyKind kind) {
  std::string error;
  static const auto ec = SigningKey::Generate(KeyKind::kEcdsaP256, error),
                    rsa = SigningKey::Generate(KeyKind::kRsa3072, error);
  EXPECT_TRUE(ec && rsa) << error;
  return kind == KeyKind::kEcdsaP256 ? ec : rsa;
}

inline std::string FromBase64(const std::string& text) {
  std::string bytes(text.size(), '\0');
  const int n =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return {};
  const std::size_t padding = text.size() - text.find_last_not_of('=') - 1;
  bytes.resize(static_cast<std::size_t>(n) - padding);
  return bytes;
}

// Whether an X-Zel-Signature value verifies with the public key of the line
// "<key id> <base64 SubjectPublicKeyInfo>" for this nonce, request and answer.
inline ::testing::AssertionResult Verifies(const std::string& publicLine, const std::string& header,
                                           const std::string& nonce, const std::string& request,
                                           const std::string& answer) {
  const std::string id = publicLine.substr(0, publicLine.find(' '));
  const std::string spki = FromBase64(publicLine.substr(id.size() + 1));
  const auto* p = reinterpret_cast<const unsigned char*>(spki.data());
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size())), EVP_PKEY_free);
  if (!key) return ::testing::AssertionFailure() << "no public key in " << publicLine;
  std::string signature = FromBase64(header.substr(id.size() + 1));
  if (EVP_PKEY_is_a(key.get(), "EC")) {
    // r and s of 32 bytes each, back into the DER OpenSSL verifies.
    if (signature.size() != 64)
      return ::testing::AssertionFailure() << "ECDSA signature of " << signature.size();
    const auto* raw = reinterpret_cast<const unsigned char*>(signature.data());
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, BN_bin2bn(raw, 32, nullptr), BN_bin2bn(raw + 32, 32, nullptr));
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig, &der);
    signature.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    ECDSA_SIG_free(sig);
  }
  const std::string message =
      "zel-update-signature-v1\n" + id + "\n" + nonce + "\n" + Sha256Hex(request) + "\n" + Sha256Hex(answer);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  const bool good =
      EVP_DigestVerifyInit_ex(ctx.get(), nullptr, "SHA256", nullptr, nullptr, key.get(), nullptr) == 1 &&
      EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  return good ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "bad signature " << header;
}

using nlohmann::json;

constexpr const char* kForm = "application/x-www-form-urlencoded";
constexpr const char* kPackage = "/packages/zel-2.1.0.exe";

inline int Status(const httplib::Result& res) { return res ? res->status : -1; }
inline json Json(const httplib::Result& res) { return res ? json::parse(res->body, nullptr, false) : json(); }

// A TCP connection to loopback that sends and reads exactly what a test says.
class RawConnection {
 public:
  // A connection that fails shows in the first Send.
  explicit RawConnection(int port, int receiveBuffer = 0) {
    if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  }
  ~RawConnection() { close(fd_); }

  // Whether all bytes went out before the send timeout.
  bool Send(std::string_view bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads until the peer closes or nothing comes for the receive timeout.
  std::string ReadAll() {
    std::string all;
    char buffer[65536];
    for (ssize_t n; (n = recv(fd_, buffer, sizeof buffer, 0)) > 0;)
      all.append(buffer, static_cast<std::size_t>(n));
    return all;
  }

 private:
  const int fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

class ServiceFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    if (server_) server_->Stop(), thread_.join();
  }

  // Opens the SQLite store unless the test opened one, and starts the service with the
  // settings the test made in config_.
  void Start() {
    std::string error;
    if (!store_) store_ = OpenCheckinStore(dir_.File("checkins.db"), CheckinStore::Access::kReadWrite, error);
    ASSERT_TRUE(store_) << error;
    package_.resize(3000000);
    for (std::size_t i = 0; i < package_.size(); ++i) package_[i] = static_cast<char>(i * 7 + i / 251);
    dir_.Write("packages/zel-2.1.0.exe", package_);
    PublishEntry(catalog_, {"2.1.0", "http://h/p.exe", 3000000, std::string(32, 'b'), false, "", ""}, true);
    ASSERT_TRUE(SaveCatalog(dir_.File("catalog.json"), catalog_, error)) << error;

    config_.catalogPath = dir_.File("catalog.json");
    config_.packagesDir = dir_.File("packages");
    config_.logRequests = false;
    config_.catalogCheckInterval = std::chrono::milliseconds(20);
    server_ = std::make_unique<UpdateServer>(config_, *store_);
    auto port = server_->Bind(error);
    ASSERT_TRUE(port) << error;
    port_ = *port;
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client_->set_read_timeout(10, 0);
    thread_ = std::thread([this] { server_->Run(); });
  }

  httplib::Result PostUpdate(const std::string& query, bool zip = false) {
    return client_->Post("/zelguard/update1", MakeBody(query, zip), kForm);
  }
  json Data(const std::string& query, bool zip = false) { return Json(PostUpdate(query, zip))["data"]; }
  int AddFaults(const std::string& faults) {
    return Status(client_->Post("/_test/faults", faults, "application/json"));
  }

  ScratchDir dir_;
  std::string package_;
  Catalog catalog_;
  std::unique_ptr<CheckinStore> store_;
  ServerConfig config_;  // what a test sets before Start; Start fills in the rest
  std::unique_ptr<UpdateServer> server_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
  std::thread thread_;
};

}  // namespace zel::svc::test
