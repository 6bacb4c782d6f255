// Signed answers, the program's side of the texts: which keys a query names, the
// message a signature covers, and the signature header of an answer. Portable; the
// digests, the nonce's random bytes and the verification itself come from the
// system (protocol/SignatureCheck.h).
//
// A program built with update keys adds two headers to each query: the keys it can
// verify with and a fresh nonce. A service that holds one of those keys signs the
// message below and sends the signature in a third header of its answer.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/UpdateKeys.h"

namespace zel {

inline constexpr char kKeyIdHeader[] = "X-Zel-Key-Id";
inline constexpr char kNonceHeader[] = "X-Zel-Nonce";
inline constexpr char kSignatureHeader[] = "X-Zel-Signature";

// The keys a query names, in the program's order of preference: its ECDSA keys when
// the system verifies them (and it has any), else its RSA keys; two at most.
std::vector<UpdateKey> NamedKeys(const std::vector<UpdateKey>& keys, bool systemVerifiesEcKeys);
// The X-Zel-Key-Id value: the named keys' ids joined by ","; empty when none is named.
std::string KeyIdHeaderValue(const std::vector<UpdateKey>& keys, bool systemVerifiesEcKeys);

// Lower-case hex of the bytes.
std::string LowerHex(std::string_view bytes);
// The X-Zel-Nonce value of 16 random bytes: 32 lower-case hex digits; empty for any
// other number of bytes.
std::string NonceText(std::string_view randomBytes);

// What a signature covers: "zel-update-signature-v1", the key id, the nonce and the
// lower-case hex SHA-256 of the request body and of the answer body, joined by "\n".
std::string SignedMessage(std::string_view keyId, std::string_view nonce, std::string_view requestSha256Hex,
                          std::string_view answerSha256Hex);

// Strict base64 (RFC 4648, with padding): no value for a length that is no multiple of
// 4, a character outside the alphabet, padding anywhere but at the end, or bits left
// over in the last character.
std::optional<std::string> DecodeBase64(std::string_view text);

// An X-Zel-Signature value, "<key id> <base64 of the raw signature>".
struct SignatureHeader {
  std::string keyId;
  std::string signature;  // raw: r and s for ECDSA P-256, the PKCS#1 v1.5 bytes for RSA
};
// No value unless the text is one named key's id, one space and strict base64 of a
// signature of that key's size (64 bytes for ECDSA P-256, 384 for RSA 3072).
std::optional<SignatureHeader> ParseSignatureHeader(std::string_view value,
                                                    const std::vector<UpdateKey>& named);

}  // namespace zel
