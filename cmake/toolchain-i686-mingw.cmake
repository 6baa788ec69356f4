# Cross toolchain: 32-bit Windows programs from Debian's mingw-w64 (posix thread model), run through wine.
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
