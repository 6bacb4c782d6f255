#include "Signing.h"

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>

namespace zel::svc {

namespace {

constexpr std::string_view kMessageTag = "zel-update-signature-v1";
constexpr std::size_t kKeyIdLength = 16;
constexpr std::size_t kNonceLength = 32;
constexpr int kRsaBits = 3072;
constexpr int kEcCoordinateBytes = 32;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using EcdsaSigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

std::string OpenSslError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return what;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return what + " (" + text + ")";
}

std::string LowerHex(const unsigned char* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(length * 2, '0');
  for (std::size_t i = 0; i < length; ++i) {
    hex[2 * i] = kDigits[bytes[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  return hex;
}

bool IsLowerHex(std::string_view text, std::size_t length) {
  return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// The kind of a key, when it is one the program can verify with.
std::optional<KeyKind> KindOf(EVP_PKEY* key) {
  if (EVP_PKEY_is_a(key, "RSA")) {
    if (EVP_PKEY_get_bits(key) == kRsaBits) return KeyKind::kRsa3072;
    return std::nullopt;
  }
  if (EVP_PKEY_is_a(key, "EC")) {
    char group[64] = "";
    std::size_t length = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
        std::string_view(group) == SN_X9_62_prime256v1) {
      return KeyKind::kEcdsaP256;
    }
  }
  return std::nullopt;
}

// An ECDSA signature as DER (what OpenSSL makes) turned into r and s of fixed width.
std::string EcdsaDerToRaw(const std::string& der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  EcdsaSigPtr sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size())));
  if (!sig) return {};
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig.get(), &r, &s);
  std::string raw(2 * kEcCoordinateBytes, '\0');
  auto* out = reinterpret_cast<unsigned char*>(raw.data());
  if (BN_bn2binpad(r, out, kEcCoordinateBytes) != kEcCoordinateBytes ||
      BN_bn2binpad(s, out + kEcCoordinateBytes, kEcCoordinateBytes) != kEcCoordinateBytes) {
    return {};
  }
  return raw;
}

}  // namespace

const char* KeyKindName(KeyKind kind) { return kind == KeyKind::kEcdsaP256 ? "ECDSA P-256" : "RSA 3072"; }

SigningKey::SigningKey(evp_pkey_st* key, KeyKind kind, std::string publicDer)
    : key_(key),
      kind_(kind),
      publicDer_(std::move(publicDer)),
      id_(Sha256Hex(publicDer_).substr(0, kKeyIdLength)) {}

SigningKey::~SigningKey() {
  for (EVP_MD_CTX* ctx : ready_) EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(key_);
}

std::shared_ptr<const SigningKey> SigningKey::Adopt(evp_pkey_st* made, std::string& error) {
  PkeyPtr key(made);
  const std::optional<KeyKind> kind = KindOf(key.get());
  if (!kind) {
    error = "the key is neither ECDSA P-256 nor RSA 3072";
    return nullptr;
  }
  if (*kind == KeyKind::kEcdsaP256) {
    // The public key travels as a named curve with an uncompressed point, the form
    // the program's crypto imports.
    EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_ENCODING, OSSL_PKEY_EC_ENCODING_GROUP);
    EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                   OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED);
  }
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(key.get(), &der);
  if (length <= 0) {
    error = OpenSslError("cannot encode the public key");
    return nullptr;
  }
  std::string publicDer(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
  OPENSSL_free(der);
  return std::shared_ptr<const SigningKey>(new SigningKey(key.release(), *kind, std::move(publicDer)));
}

std::shared_ptr<const SigningKey> SigningKey::Generate(KeyKind kind, std::string& error) {
  EVP_PKEY* key = kind == KeyKind::kEcdsaP256 ? EVP_EC_gen(SN_X9_62_prime256v1)
                                              : EVP_RSA_gen(static_cast<unsigned>(kRsaBits));
  if (!key) {
    error = OpenSslError("cannot generate a key");
    return nullptr;
  }
  return Adopt(key, error);
}

std::shared_ptr<const SigningKey> SigningKey::FromPem(std::string_view pem, std::string& error) {
  BioPtr in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  // An encrypted key is refused rather than asked for a pass phrase on the terminal.
  const auto noPassphrase = [](char*, int, int, void*) { return -1; };
  EVP_PKEY* key = in ? PEM_read_bio_PrivateKey(in.get(), nullptr, noPassphrase, nullptr) : nullptr;
  if (!key) {
    error = OpenSslError("not an unencrypted PEM private key");
    return nullptr;
  }
  return Adopt(key, error);
}

std::string SigningKey::PublicKeyLine() const { return id_ + " " + Base64(publicDer_); }

std::string SigningKey::PrivateKeyPem() const {
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!out || PEM_write_bio_PKCS8PrivateKey(out.get(), key_, nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return {};
  char* data = nullptr;
  const long length = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

std::string SigningKey::Sign(std::string_view message) const {
  // The key is shared read-only. A context set up for it is taken from the ready ones
  // (or set up now), copied for this signature alone, and given back.
  MdCtxPtr ready;
  {
    std::lock_guard lock(readyMutex_);
    if (!ready_.empty()) ready.reset(ready_.back()), ready_.pop_back();
  }
  if (!ready) {
    ready.reset(EVP_MD_CTX_new());
    if (ready && EVP_DigestSignInit_ex(ready.get(), nullptr, "SHA256", nullptr, nullptr, key_, nullptr) != 1)
      ready.reset();
  }
  MdCtxPtr ctx(EVP_MD_CTX_new());
  std::string signature(static_cast<std::size_t>(EVP_PKEY_get_size(key_)), '\0');
  std::size_t length = signature.size();
  const bool signedOk =
      ready && ctx && EVP_MD_CTX_copy_ex(ctx.get(), ready.get()) == 1 &&
      EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  if (ready) {
    std::lock_guard lock(readyMutex_);
    ready_.push_back(ready.release());
  }
  if (!signedOk) {
    ERR_clear_error();
    return {};
  }
  signature.resize(length);
  return kind_ == KeyKind::kEcdsaP256 ? EcdsaDerToRaw(signature) : signature;
}

bool KeyRing::Add(std::shared_ptr<const SigningKey> key, std::string& error) {
  if (Find(key->Id())) {
    error = "the key " + key->Id() + " is given twice";
    return false;
  }
  keys_.push_back(std::move(key));
  return true;
}

const SigningKey* KeyRing::Find(std::string_view id) const {
  for (const auto& key : keys_) {
    if (key->Id() == id) return key.get();
  }
  return nullptr;
}

std::optional<std::string> KeyRing::SignatureFor(std::string_view keyIds, std::string_view nonce,
                                                 std::string_view requestBody,
                                                 std::string_view answerBody) const {
  if (keys_.empty() || !IsLowerHex(nonce, kNonceLength)) return std::nullopt;
  const SigningKey* key = nullptr;
  while (!key && !keyIds.empty()) {
    const std::size_t comma = keyIds.find(',');
    std::string_view id = keyIds.substr(0, comma);
    keyIds = comma == std::string_view::npos ? std::string_view() : keyIds.substr(comma + 1);
    while (!id.empty() && (id.front() == ' ' || id.front() == '\t')) id.remove_prefix(1);
    while (!id.empty() && (id.back() == ' ' || id.back() == '\t')) id.remove_suffix(1);
    key = Find(id);
  }
  if (!key) return std::nullopt;
  std::string message;
  message.reserve(kMessageTag.size() + kKeyIdLength + kNonceLength + 2 * 64 + 4);
  message.append(kMessageTag).append("\n").append(key->Id()).append("\n").append(nonce);
  message.append("\n").append(Sha256Hex(requestBody)).append("\n").append(Sha256Hex(answerBody));
  const std::string signature = key->Sign(message);
  if (signature.empty()) return std::nullopt;
  return key->Id() + " " + Base64(signature);
}

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  return LowerHex(digest, length);
}

std::string Base64(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

}  // namespace zel::svc
