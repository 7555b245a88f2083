# 32-bit Windows: the shipped build.
set(KEST_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
