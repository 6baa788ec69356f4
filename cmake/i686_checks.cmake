# The i686 tree (the shipped installer, never run here): the faults only a 32-bit build shows are errors for this
# project's own code. Included after the third-party targets (LZMA SDK, zlib, GoogleTest), which keep their flags.
# GCC: format widths (size_t and pointers are 32 bits, long is 32 bits on both) and function pointer casts between
# incompatible types. (No compiler reports a 64-bit integer cast to a 32-bit pointer in C++: such casts are
# explicit, and a pointer cast to a smaller integer is an error in the x86_64 tree.)
set(I686_GCC_CHECKS -Wformat=2 -Werror=format -Werror=format-security -Werror=format-nonliteral
  -Werror=cast-function-type)
add_compile_options(${I686_GCC_CHECKS})

# clang, as the compiler launcher: what GCC does not see (a 64-bit integer cut to 32 bits, a cast that changes a
# function's calling convention); the checks are listed in the script.
find_program(I686_CHECK_CLANG NAMES clang++ clang++-14 REQUIRED)
set(I686_CXX_INCLUDES ${CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES})
list(FILTER I686_CXX_INCLUDES INCLUDE REGEX "/c\\+\\+")
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/scripts/clang_i686_check.sh ${I686_CHECK_CLANG}
  ${I686_CXX_INCLUDES} --)
