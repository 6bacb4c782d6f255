// Signed answers: the service signs an update answer for a program that names one of
// the service's keys and sends a fresh nonce, so the program can tell that the answer
// came from the vendor, answers its own query and arrived unchanged.
//
// The signature covers one text: "zel-update-signature-v1", the key id, the nonce, and
// the lower-case hex SHA-256 of the request body and of the answer body, joined by
// "\n". It travels as "X-Zel-Signature: <key id> <base64 of the raw signature>".
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct evp_pkey_st;
struct evp_md_ctx_st;

namespace zel::svc {

inline constexpr const char* kKeyIdHeader = "X-Zel-Key-Id";
inline constexpr const char* kNonceHeader = "X-Zel-Nonce";
inline constexpr const char* kSignatureHeader = "X-Zel-Signature";

// ECDSA P-256 for programs on systems with CNG's ECDSA; RSA 3072 (PKCS#1 v1.5) for
// those whose only crypto is CryptoAPI.
enum class KeyKind { kEcdsaP256, kRsa3072 };

const char* KeyKindName(KeyKind kind);  // "ECDSA P-256", "RSA 3072"

// A private key held in memory. It is never changed after it is made, so one key
// signs on any number of threads at once.
class SigningKey {
 public:
  static std::shared_ptr<const SigningKey> Generate(KeyKind kind, std::string& error);
  // A PEM private key (PKCS#8) of one of the two kinds; any other key is refused.
  static std::shared_ptr<const SigningKey> FromPem(std::string_view pem, std::string& error);
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  KeyKind Kind() const { return kind_; }
  // The first 16 lower-case hex digits of the SHA-256 of PublicKeyDer().
  const std::string& Id() const { return id_; }
  // The DER of the X.509 SubjectPublicKeyInfo.
  const std::string& PublicKeyDer() const { return publicDer_; }
  // "<key id> <base64 of the SubjectPublicKeyInfo DER>", a line of the program's key file.
  std::string PublicKeyLine() const;
  std::string PrivateKeyPem() const;  // PKCS#8, unencrypted

  // The raw signature of the message with SHA-256: r and s of 32 big-endian bytes
  // each for ECDSA, the PKCS#1 v1.5 signature for RSA. Empty when signing failed.
  std::string Sign(std::string_view message) const;

 private:
  SigningKey(evp_pkey_st* key, KeyKind kind, std::string publicDer);
  // Takes the key over; refuses a key of another kind.
  static std::shared_ptr<const SigningKey> Adopt(evp_pkey_st* key, std::string& error);

  evp_pkey_st* key_;
  KeyKind kind_;
  std::string publicDer_;
  std::string id_;
  // Contexts set up for signing with this key (setting one up costs a quarter of a
  // signature), each lent to one signature at a time, which signs on a copy.
  mutable std::mutex readyMutex_;
  mutable std::vector<evp_md_ctx_st*> ready_;
};

// The keys a service signs with: every key it was given, old ones included, so a
// program that still names an old key is answered as long as the service holds it.
class KeyRing {
 public:
  // Refuses a key whose id is already held.
  bool Add(std::shared_ptr<const SigningKey> key, std::string& error);
  bool Empty() const { return keys_.empty(); }
  const std::vector<std::shared_ptr<const SigningKey>>& Keys() const { return keys_; }

  // The X-Zel-Signature value for an answer, signed with the first key of the query's
  // comma-separated list that is held here. Nothing when no listed key is held or the
  // nonce is not 32 lower-case hex digits: such an answer goes out unsigned.
  std::optional<std::string> SignatureFor(std::string_view keyIds, std::string_view nonce,
                                          std::string_view requestBody, std::string_view answerBody) const;

 private:
  const SigningKey* Find(std::string_view id) const;

  std::vector<std::shared_ptr<const SigningKey>> keys_;
};

// Lower-case hex of the SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);
std::string Base64(std::string_view bytes);

}  // namespace zel::svc
