#include "protocol/AnswerSignature.h"

#include <cstdint>
#include <string>

namespace zel {
namespace {

constexpr std::size_t kNamedKeysAtMost = 2;
constexpr std::size_t kNonceBytes = 16;
constexpr char kMessageStart[] = "zel-update-signature-v1";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::size_t SignatureSize(UpdateKeyKind kind) { return kind == UpdateKeyKind::kEcdsaP256 ? 64 : 384; }

}  // namespace

std::vector<UpdateKey> NamedKeys(const std::vector<UpdateKey>& keys, bool systemVerifiesEcKeys) {
  const auto ofKind = [&](UpdateKeyKind kind) {
    std::vector<UpdateKey> named;
    for (const UpdateKey& key : keys)
      if (key.kind == kind && named.size() < kNamedKeysAtMost) named.push_back(key);
    return named;
  };
  std::vector<UpdateKey> named;
  if (systemVerifiesEcKeys) named = ofKind(UpdateKeyKind::kEcdsaP256);
  return named.empty() ? ofKind(UpdateKeyKind::kRsa3072) : named;
}

std::string KeyIdHeaderValue(const std::vector<UpdateKey>& keys, bool systemVerifiesEcKeys) {
  std::string value;
  for (const UpdateKey& key : NamedKeys(keys, systemVerifiesEcKeys))
    value += (value.empty() ? "" : ",") + key.id;
  return value;
}

std::string LowerHex(std::string_view bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

std::string NonceText(std::string_view randomBytes) {
  return randomBytes.size() == kNonceBytes ? LowerHex(randomBytes) : std::string();
}

std::string SignedMessage(std::string_view keyId, std::string_view nonce, std::string_view requestSha256Hex,
                          std::string_view answerSha256Hex) {
  std::string message = kMessageStart;
  for (const std::string_view part : {keyId, nonce, requestSha256Hex, answerSha256Hex}) {
    message += '\n';
    message += part;
  }
  return message;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < text.size() - padding; ++i) {
    const char* digit = std::char_traits<char>::find(kBase64Alphabet, 64, text[i]);
    if (!digit) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(digit - kBase64Alphabet);
    if (i % 4 == 3) {
      bytes += static_cast<char>(bits >> 16);
      bytes += static_cast<char>(bits >> 8);
      bytes += static_cast<char>(bits);
      bits = 0;
    }
  }
  // The last group: 3 characters give 2 bytes and 2 bits to spare, 2 give 1 byte and 4.
  if (padding == 1) {
    if ((bits & 0x3) != 0) return std::nullopt;
    bytes += static_cast<char>(bits >> 10);
    bytes += static_cast<char>(bits >> 2);
  } else if (padding == 2) {
    if ((bits & 0xF) != 0) return std::nullopt;
    bytes += static_cast<char>(bits >> 4);
  }
  return bytes;
}

std::optional<SignatureHeader> ParseSignatureHeader(std::string_view value,
                                                    const std::vector<UpdateKey>& named) {
  const std::size_t space = value.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const UpdateKey* key = FindUpdateKey(named, value.substr(0, space));
  std::optional<std::string> signature = DecodeBase64(value.substr(space + 1));
  if (!key || !signature || signature->size() != SignatureSize(key->kind)) return std::nullopt;
  return SignatureHeader{key->id, std::move(*signature)};
}

}  // namespace zel
