#include "protocol/AnswerSignature.h"

#include <gtest/gtest.h>

namespace zel {

const UpdateKey kEc1{"ec00000000000001", UpdateKeyKind::kEcdsaP256, ""};
const UpdateKey kEc2{"ec00000000000002", UpdateKeyKind::kEcdsaP256, ""};
const UpdateKey kEc3{"ec00000000000003", UpdateKeyKind::kEcdsaP256, ""};
const UpdateKey kRsa1{"ae00000000000001", UpdateKeyKind::kRsa3072, ""};
const UpdateKey kRsa2{"ae00000000000002", UpdateKeyKind::kRsa3072, ""};

TEST(AnswerSignature, QueryNamesItsEcKeysWhereTheSystemVerifiesThemElseItsRsaKeys) {
  const std::vector<UpdateKey> keys = {kRsa1, kEc1, kRsa2, kEc2};
  EXPECT_EQ(KeyIdHeaderValue(keys, true) + " " + KeyIdHeaderValue(keys, false),
            "ec00000000000001,ec00000000000002 ae00000000000001,ae00000000000002");
  EXPECT_EQ(KeyIdHeaderValue({kRsa1}, true), "ae00000000000001");  // no EC key to name
  EXPECT_EQ(KeyIdHeaderValue({kEc1, kEc2, kEc3}, true), "ec00000000000001,ec00000000000002");
  EXPECT_EQ(KeyIdHeaderValue({kEc1}, false), "");
}

TEST(AnswerSignature, MessageAndNonceTextsBase64AndTheHeaderAreReadStrictly) {
  EXPECT_EQ(SignedMessage("ec00000000000001", "00ff", "ab12", "cd34"),
            "zel-update-signature-v1\nec00000000000001\n00ff\nab12\ncd34");
  const std::string bytes("\x00\x01\x23\x45\x67\x89\xAB\xCD\xEF\x10\x32\x54\x76\x98\xBA\xFE", 16);
  EXPECT_EQ(NonceText(bytes), "000123456789abcdef1032547698bafe");
  EXPECT_EQ(NonceText(bytes.substr(1)) + NonceText(bytes + "x"), "");

  for (const auto& [text, decoded] : {std::pair{"", ""}, {"TWFu", "Man"}, {"TWE=", "Ma"}, {"TQ==", "M"}})
    EXPECT_EQ(DecodeBase64(text), decoded) << text;
  EXPECT_EQ(DecodeBase64("+/+/AAAA"), std::string("\xFB\xFF\xBF\0\0\0", 6));
  for (const char* bad : {"TWF", "TWE", "TQ", "TQ=", "T===", "====", "TW=u", "TWE=TWFu",
                          "TR==", "TWF=", "TW u", "TWF\n", "TWF_", "TWF-", "TWFu "})
    EXPECT_EQ(DecodeBase64(bad), std::nullopt) << '"' << bad << '"';

  // A signature header is one named key and one signature of its size.
  const std::vector<UpdateKey> named = {kEc1, kRsa1};
  const std::string ec = std::string(86, 'A') + "==";  // 64 bytes
  const std::optional<SignatureHeader> parsed = ParseSignatureHeader("ec00000000000001 " + ec, named);
  EXPECT_EQ(parsed ? parsed->keyId + " " + parsed->signature : "",
            "ec00000000000001 " + std::string(64, '\0'));

  for (const std::string& bad :
       std::initializer_list<std::string>{std::string("ec00000000000001"),
                                          "ec00000000000002 " + ec,  // a key the query did not name
                                          "EC00000000000001 " + ec,  // ids are lower-case
                                          "ec00000000000001,ae00000000000001 " + ec,  // one key
                                          "ec00000000000001  " + ec,  // one blank between the two
                                          "ec00000000000001 " + std::string(84, 'A'),  // 63 bytes
                                          "ae00000000000001 " + ec})
    EXPECT_EQ(ParseSignatureHeader(bad, named), std::nullopt) << '"' << bad << '"';
}

}  // namespace zel
