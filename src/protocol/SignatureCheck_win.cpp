#include "protocol/SignatureCheck.h"

// <windows.h> (with the headers of the DLLs imported on first call) before the rest.
// clang-format off
#include "system/DelayImports_win.h"
#include <bcrypt.h>
// clang-format on

#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "protocol/AesProvider_win.h"
#include "protocol/AnswerSignature.h"
#include "system/DiagnosticsLog.h"
#include "system/Guarded.h"
#include "system/SystemLibrary_win.h"
#include "system/UniqueHandle_win.h"

namespace zel {
namespace {

constexpr DWORD kSha256Size = 32;
constexpr DWORD kEcCoordinateSize = 32;
constexpr DWORD kRsaSignatureSize = 384;
// The named curve P-256 as the DER of its object id: the parameters of its keys.
constexpr BYTE kP256Parameters[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

// The functions of bcrypt.dll the program uses, and ECDSA P-256's algorithm handle.
// The library and the handle are kept for the process's life once loaded.
struct Cng {
  decltype(&BCryptOpenAlgorithmProvider) openAlgorithm = nullptr;
  decltype(&BCryptImportKeyPair) importKeyPair = nullptr;
  decltype(&BCryptDestroyKey) destroyKey = nullptr;
  decltype(&BCryptVerifySignature) verifySignature = nullptr;
  BCRYPT_ALG_HANDLE ecdsaP256 = nullptr;
};

// The functions of CNG from the system folder (loaded on first use: Windows XP has
// none); nullptr when the system has no CNG or no ECDSA P-256 in it.
const Cng* LoadCng() {
  static const std::optional<Cng> loaded = []() -> std::optional<Cng> {
    const auto find = [](auto& function, const char* name) {
      function = SystemFunction<std::remove_reference_t<decltype(function)>>(L"bcrypt.dll", name);
      return function != nullptr;
    };
    Cng cng;
    if (!find(cng.openAlgorithm, "BCryptOpenAlgorithmProvider") ||
        !find(cng.importKeyPair, "BCryptImportKeyPair") || !find(cng.destroyKey, "BCryptDestroyKey") ||
        !find(cng.verifySignature, "BCryptVerifySignature") ||
        !BCRYPT_SUCCESS(cng.openAlgorithm(&cng.ecdsaP256, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
      return std::nullopt;
    return cng;
  }();
  return loaded ? &*loaded : nullptr;
}

struct CngKeyTraits {
  using Type = BCRYPT_KEY_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { LoadCng()->destroyKey(h); }  // a key exists only once CNG was loaded
};

// The SHA-256 hash object of the bytes; none when the provider could not make it.
UniqueCryptHash Sha256Of(HCRYPTPROV provider, std::string_view bytes) {
  constexpr std::size_t kPiece = 1 << 30;  // CryptHashData takes a 32-bit length
  UniqueCryptHash hash;
  if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, hash.Put())) return {};
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::string_view piece = bytes.substr(at, kPiece);
    if (!CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(piece.data()),
                       static_cast<DWORD>(piece.size()), 0))
      return {};
  }
  return hash;
}

std::string HashValue(HCRYPTHASH hash) {
  std::string value(kSha256Size, '\0');
  DWORD size = kSha256Size;
  if (!CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &size, 0) ||
      size != kSha256Size)
    return {};
  return value;
}

bool IsP256Key(const CERT_PUBLIC_KEY_INFO& info) {
  const CRYPT_DATA_BLOB& parameters = info.Algorithm.Parameters;
  return std::strcmp(info.Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0 &&
         parameters.cbData == sizeof kP256Parameters &&
         std::memcmp(parameters.pbData, kP256Parameters, sizeof kP256Parameters) == 0 &&
         info.PublicKey.cbData == 1 + 2 * kEcCoordinateSize && info.PublicKey.cUnusedBits == 0 &&
         info.PublicKey.pbData[0] == 0x04;  // an uncompressed point: X and Y follow
}

bool VerifyEcdsa(const CERT_PUBLIC_KEY_INFO& info, const std::string& message, const std::string& signature) {
  const Cng* cng = LoadCng();
  if (!cng) {
    Log("signature check", "this system cannot verify EC keys");
    return false;
  }
  if (!IsP256Key(info) || signature.size() != 2 * kEcCoordinateSize) return false;
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kEcCoordinateSize};
  std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
  blob.append(reinterpret_cast<const char*>(info.PublicKey.pbData) + 1, 2 * kEcCoordinateSize);
  UniqueHandle<CngKeyTraits> key;
  if (!BCRYPT_SUCCESS(cng->importKeyPair(cng->ecdsaP256, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Put(),
                                         reinterpret_cast<PUCHAR>(blob.data()),
                                         static_cast<ULONG>(blob.size()), 0)))
    return false;
  const HCRYPTPROV provider = AesProvider();
  const UniqueCryptHash hash = provider ? Sha256Of(provider, message) : UniqueCryptHash();
  std::string digest = hash ? HashValue(hash.Get()) : std::string();
  std::string raw = signature;
  return !digest.empty() &&
         cng->verifySignature(key.Get(), nullptr, reinterpret_cast<PUCHAR>(digest.data()), kSha256Size,
                              reinterpret_cast<PUCHAR>(raw.data()), static_cast<ULONG>(raw.size()), 0) == 0;
}

bool VerifyRsa(CERT_PUBLIC_KEY_INFO& info, const std::string& message, const std::string& signature) {
  if (std::strcmp(info.Algorithm.pszObjId, szOID_RSA_RSA) != 0 || signature.size() != kRsaSignatureSize)
    return false;
  const HCRYPTPROV provider = AesProvider();
  UniqueCryptKey key;
  if (!provider || !CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, &info, key.Put())) return false;
  const UniqueCryptHash hash = Sha256Of(provider, message);
  // CryptoAPI takes the signature's bytes little-endian.
  const std::string reversed(signature.rbegin(), signature.rend());
  return hash && CryptVerifySignatureW(hash.Get(), reinterpret_cast<const BYTE*>(reversed.data()),
                                       static_cast<DWORD>(reversed.size()), key.Get(), nullptr, 0);
}

}  // namespace

bool SystemVerifiesEcKeys() {
  return Guarded("signature check", false, [] { return LoadCng() != nullptr; });
}

bool VerifyAnswerSignature(const UpdateKey& key, const std::string& message,
                           const std::string& rawSignature) {
  return Guarded("signature check", false, [&] {
    UniqueLocalMemory decoded;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(
            X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, reinterpret_cast<const BYTE*>(key.spki.data()),
            static_cast<DWORD>(key.spki.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.Put(), &size))
      return false;
    auto& info = *static_cast<CERT_PUBLIC_KEY_INFO*>(decoded.Get());
    return key.kind == UpdateKeyKind::kEcdsaP256 ? VerifyEcdsa(info, message, rawSignature)
                                                 : VerifyRsa(info, message, rawSignature);
  });
}

std::string Sha256Hex(std::string_view bytes) {
  return Guarded("SHA-256", std::string(), [&] {
    const HCRYPTPROV provider = AesProvider();
    const UniqueCryptHash hash = provider ? Sha256Of(provider, bytes) : UniqueCryptHash();
    return hash ? LowerHex(HashValue(hash.Get())) : std::string();
  });
}

std::string NewNonce() {
  return Guarded("nonce", std::string(), [] {
    const HCRYPTPROV provider = AesProvider();
    std::string bytes(16, '\0');
    if (!provider ||
        !CryptGenRandom(provider, static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())))
      return std::string();
    return NonceText(bytes);
  });
}

}  // namespace zel
