# 32-bit Windows: the program that ships (XP SP3 to 11).
set(ZEL_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
