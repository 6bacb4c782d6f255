// Texts the user sees that belong to the program as a whole.
#pragma once

namespace zel {

inline constexpr const char* kProgramTitle = "Zelvora-升级App";
inline constexpr const char* kWindowCaption = "Zelvora(Zel卫士增强版)-升级程序";
inline constexpr const char* kExitButtonCaption = "退出";

}  // namespace zel
