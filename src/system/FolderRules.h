// How folders are built from environment variables; portable so the rule is tested
// natively.
#pragma once
#include <string>
#include <string_view>

namespace zel {

// The variable's value, a backslash unless the value already ends with one, then the
// folder name. An empty (or unset) value therefore gives "\" followed by the name.
std::string JoinEnvFolder(std::string_view value, std::string_view name);

}  // namespace zel
