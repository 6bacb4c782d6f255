// The update keys the program is built with: the public keys whose signatures it
// accepts on the update service's answers. They come from the key file that the build
// option ZEL_UPDATE_KEYS names, checked and turned into data when the build is
// configured (cmake/UpdateKeys.cmake). A program built without the option has none.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zel {

enum class UpdateKeyKind {
  kEcdsaP256,  // verified through CNG (Windows Vista and later)
  kRsa3072,    // PKCS#1 v1.5, verified through CryptoAPI (Windows XP SP3 too)
};

struct UpdateKey {
  std::string id;  // the first 16 lower-case hex digits of the SHA-256 of spki
  UpdateKeyKind kind;
  std::string spki;  // the DER of the X.509 SubjectPublicKeyInfo
};

// In the key file's order: the current key of a kind before the next one.
const std::vector<UpdateKey>& EmbeddedUpdateKeys();

// The key with that id, or nullptr.
const UpdateKey* FindUpdateKey(const std::vector<UpdateKey>& keys, std::string_view id);

}  // namespace zel
