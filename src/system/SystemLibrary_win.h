// Functions that not every supported Windows has. The program starts on Windows XP
// SP3, so a function that came later is looked up on its first use, in a DLL of the
// system folder (never through the search order, which a file beside the program
// could answer); the caller keeps an XP behaviour for when it is missing.
#pragma once
#include <windows.h>

namespace zel {

// The DLL of this name from the system folder, loaded for the process's life;
// nullptr when the system has none.
HMODULE SystemLibrary(const wchar_t* name);

// A function of a system DLL; nullptr when the DLL or the function is missing.
template <class Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  const HMODULE module = SystemLibrary(library);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace zel
