// The edge between UTF-8 inside and the system: UTF-16 for the wide calls (windows,
// message boxes, COM), the ANSI code page for the calls made in ANSI (files, INI
// files, registry, command lines). Nothing else in the program converts.
#pragma once
#include <string>
#include <string_view>

namespace zel {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// UTF-8 to the ANSI code page (CP_ACP); unmappable characters become the system's default char.
std::string ToAnsi(std::string_view utf8);
// ANSI code page bytes to UTF-8.
std::string FromAnsi(std::string_view ansi);
// Lower case as the system lowers text (all scripts, not only A-Z).
std::string LowerText(std::string_view utf8);

}  // namespace zel
