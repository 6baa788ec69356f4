# The LZMA SDK as Debian's lzma-dev installs it: compiled from its own place, never copied here.
find_path(LZMA_SDK_DIR LzmaDec.c PATHS /usr/include/lzma NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# The decoder is the installer's hot loop (make bench). -O2: -O3 and -Os measured no faster. In the i686
# build (the installer) it is compiled for the SSE2 baseline, -march=pentium4 (every x86 since the Pentium 4 and
# Athlon 64), tuned for current CPUs: 2-3 % faster than mingw's default -march=pentiumpro.
add_library(lzma_dec STATIC ${LZMA_SDK_DIR}/LzmaDec.c)
target_include_directories(lzma_dec SYSTEM PUBLIC ${LZMA_SDK_DIR})
target_compile_definitions(lzma_dec PUBLIC _7ZIP_ST)
target_compile_options(lzma_dec PRIVATE -O2 -w)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  target_compile_options(lzma_dec PRIVATE -march=pentium4 -mtune=generic)
endif()

add_library(lzma_enc STATIC ${LZMA_SDK_DIR}/LzmaEnc.c ${LZMA_SDK_DIR}/LzFind.c)
target_include_directories(lzma_enc SYSTEM PUBLIC ${LZMA_SDK_DIR})
target_compile_definitions(lzma_enc PUBLIC _7ZIP_ST)
target_compile_options(lzma_enc PRIVATE -O2 -w)
