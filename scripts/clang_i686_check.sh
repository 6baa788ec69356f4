#!/usr/bin/env bash
# Compiler launcher of the i686 tree: each source goes first through clang for 32-bit Windows (syntax only), for
# the 32-bit faults GCC does not report, then to the real compiler. A fault fails the compile like a GCC error.
# Usage: clang_i686_check.sh CLANG++ [C++ INCLUDE DIR]... -- COMPILER ARGS...
# The C++ include directories are the cross compiler's libstdc++ ones, so clang reads the same headers.
set -euo pipefail

# The faults, made errors; everything else clang might say is GCC's business and stays silent.
#   shorten-64-to-32: a 64-bit integer silently cut to 32 bits (uint64_t into size_t, a file size into a length).
#   cast-calling-convention: a function cast to a pointer of another calling convention (a callback declared
#     without CALLBACK/WINAPI and cast to DLGPROC, WNDPROC...): it corrupts the stack on i686 only.
#   cast-function-type: a function pointer cast to an incompatible type (GetProcAddress is reached through void*).
#   format: printf widths that hold on x86_64 and not with the 32-bit size_t, pointers and long.
CHECKS=(-Wno-everything
  -Werror=shorten-64-to-32 -Werror=cast-calling-convention -Werror=cast-function-type
  -Werror=format -Werror=format-security -Werror=format-nonliteral)

clang=$1
shift
includes=()
while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do
  includes+=(-isystem "$1")
  shift
done
shift  # --
[ "$#" -gt 0 ] || { echo "clang_i686_check.sh: no compile command after --" >&2; exit 2; }

# The compile command without its outputs (object, dependency file): clang only reads.
args=()
skip=0
for arg in "${@:2}"; do
  if [ "$skip" = 1 ]; then skip=0; continue; fi
  case "$arg" in
    -o | -MF | -MT | -MQ) skip=1 ;;
    -c | -MD | -MMD) ;;
    *) args+=("$arg") ;;
  esac
done

# The checks after the command's own warning flags, so that only they speak.
"$clang" --target=i686-w64-mingw32 -nostdinc++ "${includes[@]}" -fsyntax-only "${args[@]}" "${CHECKS[@]}"
exec "$@"
