# 64-bit Windows: the same sources, tested under 64-bit Wine where a machine cannot run
# 32-bit programs.
set(KEST_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
