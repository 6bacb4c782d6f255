# Cross build for 64-bit Windows with mingw-w64 (posix threads), run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run without address-space randomization: this Wine has no preloader to
# hold the fixed addresses it needs (the shared user data at 0x7ffe0000), so now and
# then a randomized layout took one and the program died at start ("failed to map the
# shared user data", exit code 1, no output). Programs they start inherit the setting.
set(CMAKE_CROSSCOMPILING_EMULATOR setarch x86_64 -R wine)
# The programs then import only system DLLs (and zlib1.dll, loaded by hand).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
