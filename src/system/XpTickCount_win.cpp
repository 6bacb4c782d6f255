// GetTickCount64 for Windows XP, which lacks it. The C++ runtime's thread library
// imports it for its timed waits; this definition of the import's address takes the
// place of the system's, so the program starts on XP. It is linked into the shipped
// programs only (an archive member would come too late to win).
#include <windows.h>

namespace {

// The system's own from Vista on. On XP a count from the performance counter, which
// unlike GetTickCount does not wrap after 49.7 days. Nothing is cached: the first call
// may come from a thread of the runtime before any static of this program is ready.
ULONGLONG WINAPI TickCount64() {
  using SystemTickCount64 = ULONGLONG(WINAPI*)();
  if (const auto system = reinterpret_cast<SystemTickCount64>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64"))))
    return system();
  LARGE_INTEGER counter, frequency;
  if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&counter)) return GetTickCount();
  const ULONGLONG ticks = static_cast<ULONGLONG>(counter.QuadPart);
  const ULONGLONG perSecond = static_cast<ULONGLONG>(frequency.QuadPart);
  return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

}  // namespace

#ifdef _WIN64
#define ZEL_IMPORT_NAME "__imp_GetTickCount64"
#else
#define ZEL_IMPORT_NAME "__imp__GetTickCount64@0"
#endif
extern "C" {
extern ULONGLONG(WINAPI* const zelTickCount64Import)() __asm__(ZEL_IMPORT_NAME);
ULONGLONG(WINAPI* const zelTickCount64Import)() = TickCount64;
}
