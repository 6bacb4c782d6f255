#include "system/Folders.h"

namespace zel {

std::string JoinEnvFolder(std::string_view value, std::string_view name) {
  std::string folder(value);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  folder += name;
  return folder;
}

}  // namespace zel
