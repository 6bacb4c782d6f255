// The system headers of the DLLs that the program imports on their first call (WinINet
// and CRYPT32; cmake/DelayImports.cmake). Include this instead of <wininet.h> and
// <wincrypt.h>: their functions are declared for direct calls, because the 32-bit linker
// keeps a delay-import stub only where it is called directly and drops those of the
// functions called through their import address, which then stays empty. (URL
// Moniker's header declares its functions for direct calls already.)
#pragma once
#include <windows.h>

#pragma push_macro("DECLSPEC_IMPORT")
#pragma push_macro("WINIMPM")
#undef DECLSPEC_IMPORT
#undef WINIMPM
#define DECLSPEC_IMPORT
#define WINIMPM
// clang-format off
#include <wincrypt.h>
#include <wininet.h>
// clang-format on
#pragma pop_macro("WINIMPM")
#pragma pop_macro("DECLSPEC_IMPORT")
