// The one source file that depends on the key file: changing the keys rebuilds it alone.
#include "protocol/UpdateKeys.h"

#include <algorithm>

namespace zel {

const std::vector<UpdateKey>& EmbeddedUpdateKeys() {
  static const std::vector<UpdateKey> keys = {
#include "UpdateKeys.inc"
  };
  return keys;
}

const UpdateKey* FindUpdateKey(const std::vector<UpdateKey>& keys, std::string_view id) {
  const auto found =
      std::find_if(keys.begin(), keys.end(), [&](const UpdateKey& key) { return key.id == id; });
  return found == keys.end() ? nullptr : &*found;
}

}  // namespace zel
