// Keys for the tests, made once per test process, and a check of a signed answer
// done the way the program does it: from the public key line alone, with the signed
// text rebuilt here.
#pragma once

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <map>
#include <string>

#include "Signing.h"

namespace zel::svc::test {

inline std::shared_ptr<const SigningKey> TestKey(KeyKind kind) {
  static std::map<KeyKind, std::shared_ptr<const SigningKey>> keys;
  auto& key = keys[kind];
  std::string error;
  if (!key) key = SigningKey::Generate(kind, error);
  EXPECT_TRUE(key) << error;
  return key;
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

inline std::string Sha256LowerHex(const std::string& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
  std::string hex;
  for (unsigned char b : digest) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
  return hex;
}

// Whether an X-Zel-Signature value verifies with the public key of the line
// "<key id> <base64 SubjectPublicKeyInfo>" for this nonce, request and answer.
inline ::testing::AssertionResult Verifies(const std::string& publicLine, const std::string& header,
                                           const std::string& nonce, const std::string& request,
                                           const std::string& answer) {
  const std::string id = publicLine.substr(0, publicLine.find(' '));
  if (header.substr(0, header.find(' ')) != id)
    return ::testing::AssertionFailure() << "signed by " << header;
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
  } else if (signature.size() != 384) {
    return ::testing::AssertionFailure() << "RSA signature of " << signature.size();
  }
  const std::string message = "zel-update-signature-v1\n" + id + "\n" + nonce + "\n" +
                              Sha256LowerHex(request) + "\n" + Sha256LowerHex(answer);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  const bool good =
      EVP_DigestVerifyInit_ex(ctx.get(), nullptr, "SHA256", nullptr, nullptr, key.get(), nullptr) == 1 &&
      EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  return good ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "bad signature " << header;
}

}  // namespace zel::svc::test
