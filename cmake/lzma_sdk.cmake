# The LZMA SDK as Debian's lzma-dev installs it: compiled from its own place, never copied here.
find_path(LZMA_SDK_DIR LzmaDec.c PATHS /usr/include/lzma NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(lzma_dec STATIC ${LZMA_SDK_DIR}/LzmaDec.c)
target_include_directories(lzma_dec SYSTEM PUBLIC ${LZMA_SDK_DIR})
target_compile_definitions(lzma_dec PUBLIC _7ZIP_ST)
target_compile_options(lzma_dec PRIVATE -O2 -w)

add_library(lzma_enc STATIC ${LZMA_SDK_DIR}/LzmaEnc.c ${LZMA_SDK_DIR}/LzFind.c)
target_include_directories(lzma_enc SYSTEM PUBLIC ${LZMA_SDK_DIR})
target_compile_definitions(lzma_enc PUBLIC _7ZIP_ST)
target_compile_options(lzma_enc PRIVATE -O2 -w)
