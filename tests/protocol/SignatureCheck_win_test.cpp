#include "protocol/SignatureCheck.h"

#include <gtest/gtest.h>

#include "protocol/AnswerSignature.h"

namespace zel {
namespace {

// The keys of data/update-keys.txt, turned into data by the build as a program's keys are.
const std::vector<UpdateKey> kKeys = {
#include "test-update-keys.inc"
};

// Answer signatures made by OpenSSL over the message of kRequest and kAnswer with
// kNonce, as the update service sends them (r and s for ECDSA).
constexpr char kNonce[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
constexpr char kRequest[] = "ver=1.0.1&os=6.1&name=%E5%8D%87%E7%BA%A7";
constexpr char kAnswer[] = R"({"action":33,"updateinfo":{"version":"1.0.2"}})";
constexpr char kEcHeader[] =
    "6311aa28102efa38 "
    "Q5UDqsS7nBlB92Ut6MVLTJUwzZR+M5ifW8zDjlztlOKJ7Lk4LfciZoAvFmpBY269rpZXKfDRWNUkoBteu+reIQ==";
constexpr char kRsaHeader[] =
    "930195b36f8b5b68 "
    "gTArYb2ekuJsxaqiVow0VmrJ71iVWH06EDJsu4OWmfIIbTD2VxBGR385O/sg+lx6QYYyFH+7OXadqbUWyy/ZU7bN"
    "JcVXweuDjK9D7X3rbilArgo3EdkJ+rwGQfIBxMz8NGfOFtgx8MbQMTNF34Bx51FtIU5ofBuYBkKbsIabIffWNfAa/8iD8myzSarxJfwC"
    "RlRu2F++JPcLNqpBgIva2/RJwkxx4SoV5TGGgGKg/HCed2KPASzAdBf1rLNh3p7Ds8J1CXLvnmLzhLwn4O2/HCz1JysCENLjTwvEKCoc"
    "GbacaS+NYq37Fcxj3dr7lI/hK/hxAnssQVsF2QZ0EGwBcygQzdrzMlLRGEw3tp1CIMMKVm6IAWvc+0f4RQjjhh/WE+bGR4MuqEwng3Dv"
    "FwyATlG7lsTT6xGCTF9oyqNuVg9L55QSXWzYcaWfciQxr4Yav+GSveOw6oFre2MRxfNMrFAIvj3taHDaYuir0RLoW7GbOtoehNab7lXS"
    "V8rPxhN2";

std::string Message(const std::string& keyId, const std::string& answer = kAnswer) {
  return SignedMessage(keyId, kNonce, Sha256Hex(kRequest), Sha256Hex(answer));
}

TEST(SignatureCheckTest, BuiltKeysVerifyOpenSslSignaturesAndRefuseEveryOneBitChangeAndNoncesAreNew) {
  ASSERT_TRUE(SystemVerifiesEcKeys());
  for (const auto& [header, ec] : {std::pair{kEcHeader, true}, std::pair{kRsaHeader, false}}) {
    SCOPED_TRACE(ec ? "ECDSA P-256" : "RSA 3072");
    const std::optional<SignatureHeader> parsed = ParseSignatureHeader(header, NamedKeys(kKeys, ec));
    ASSERT_TRUE(parsed);
    const UpdateKey& key = *FindUpdateKey(kKeys, parsed->keyId);
    const std::string message = Message(key.id);
    EXPECT_TRUE(VerifyAnswerSignature(key, message, parsed->signature));

    for (const std::size_t bit : {std::size_t{0}, std::size_t{7}, parsed->signature.size() * 8 - 1}) {
      std::string changed = parsed->signature;
      changed[bit / 8] ^= static_cast<char>(1 << bit % 8);
      EXPECT_FALSE(VerifyAnswerSignature(key, message, changed)) << "signature bit " << bit;
    }
    std::string answer = kAnswer;
    answer[10] ^= 0x01;  // "33" becomes "32"
    EXPECT_FALSE(VerifyAnswerSignature(key, Message(key.id, answer), parsed->signature) ||
                 VerifyAnswerSignature(key, message + "\n", parsed->signature));
    // The DER of a key of the other kind is never read as one of this kind.
    const UpdateKey& other = kKeys[ec ? 1 : 0];
    EXPECT_FALSE(VerifyAnswerSignature(UpdateKey{key.id, key.kind, other.spki}, message, parsed->signature));
  }
  // Each request's nonce is new, lower-case hex.
  const std::string nonce = NewNonce();
  EXPECT_TRUE(nonce.size() == 32 && nonce.find_first_not_of("0123456789abcdef") == std::string::npos &&
              NewNonce() != nonce)
      << nonce;
}

}  // namespace
}  // namespace zel
