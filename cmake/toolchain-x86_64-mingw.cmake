# Cross toolchain: 64-bit Windows programs from Debian's mingw-w64, for running the Windows suites under wine64
# where the kernel runs no 32-bit programs (the shipped installer stays the i686 build).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
