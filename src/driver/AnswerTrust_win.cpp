#include "driver/AnswerTrust.h"
#include "driver/PackageCache.h"
#include "protocol/AnswerSignature.h"
#include "protocol/SignatureCheck.h"
#include "protocol/UpdateKeys.h"
#include "system/DiagnosticsLog.h"

namespace zel {

bool SignedUpdates() { return !EmbeddedUpdateKeys().empty(); }

std::optional<AnswerSealRequest> QuerySeal() {
  if (!SignedUpdates()) return std::nullopt;
  return AnswerSealRequest{KeyIdHeaderValue(EmbeddedUpdateKeys(), SystemVerifiesEcKeys()), &NewNonce};
}

bool AnswerIsAuthentic(const PostedAnswer& answer, std::string_view requestBody) {
  // One signature only: with two, a check might verify one and a reader trust the other.
  if (answer.signatures.size() != 1) {
    Log("signature", std::to_string(answer.signatures.size()) + " signature headers");
    return false;
  }
  const std::optional<SignatureHeader> header = ParseSignatureHeader(
      answer.signatures.front(), NamedKeys(EmbeddedUpdateKeys(), SystemVerifiesEcKeys()));
  if (!header) {
    Log("signature", "malformed, or by a key the query did not name");
    return false;
  }
  const UpdateKey* key = FindUpdateKey(EmbeddedUpdateKeys(), header->keyId);
  if (!key) return false;
  const std::string message =
      SignedMessage(header->keyId, answer.nonce, Sha256Hex(requestBody), Sha256Hex(answer.body));
  const bool verified = VerifyAnswerSignature(*key, message, header->signature);
  Log("signature", (verified ? "verified, key " : "refused, key ") + header->keyId);
  return verified;
}

bool DigestsMatch(const FileDigests& digests, const std::string& md5, const std::string& sha256) {
  return DigestMatches(digests.md5, md5) && DigestMatches(digests.sha256, sha256);
}

}  // namespace zel
