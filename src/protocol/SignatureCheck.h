// What signed answers need of the system (Windows only): the verification of a
// signature with one of the program's update keys, the SHA-256 of bytes, and nonces.
// ECDSA P-256 goes through CNG, which Windows XP lacks: it is loaded from the system
// folder when first needed, never imported, so the program still starts there. RSA
// and the digests go through CryptoAPI's AES provider, which Windows XP SP3 has.
#pragma once
#include <string>
#include <string_view>

#include "protocol/UpdateKeys.h"

namespace zel {

// True when CNG's ECDSA P-256 is there (Windows Vista and later).
bool SystemVerifiesEcKeys();

// True only when rawSignature is key's valid signature of message with SHA-256 (ECDSA:
// r and s, 32 big-endian bytes each; RSA: PKCS#1 v1.5, big-endian as OpenSSL writes
// it). False for any other signature, a key whose DER is not of its kind, and an
// ECDSA key on a system without CNG's ECDSA (which goes to the diagnostics log).
bool VerifyAnswerSignature(const UpdateKey& key, const std::string& message, const std::string& rawSignature);

// The SHA-256 of the bytes as 64 lower-case hex digits; empty when the system could not
// make it.
std::string Sha256Hex(std::string_view bytes);

// A fresh X-Zel-Nonce value: 16 random bytes from the system as 32 lower-case hex
// digits; empty when the system gave none.
std::string NewNonce();

}  // namespace zel
