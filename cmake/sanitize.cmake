# -DSANITIZE=ON: every target built with AddressSanitizer and UndefinedBehaviorSanitizer (any undefined
# behaviour ends the test run), and with clang the coverage the fuzz targets in tests/fuzz need.
option(SANITIZE "Build with ASan and UBSan, and the fuzz targets when the compiler is clang" OFF)
if(SANITIZE)
  set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${SANITIZE_FLAGS} -g)
  add_link_options(${SANITIZE_FLAGS})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(FUZZING ON)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# -DSANITIZE_THREAD=ON: every target built with ThreadSanitizer (clang), for the decoding pipeline's threads.
option(SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
if(SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -g)
  add_link_options(-fsanitize=thread)
endif()
