#!/usr/bin/env bash
# Builds the sample installer BUILD_DIR/dist/setup.exe: sample/product plus the two programs the
# installer launches, packed by the native mkinstaller onto the installer stub.
#
#   scripts/make_sample.sh BUILD_DIR [win32|win64]
#
# Programs come from BUILD_DIR/TREE/sample/ and the stub is BUILD_DIR/TREE/setup-stub.exe (TREE: win32 by
# default, the shipped installer; win64 makes BUILD_DIR/dist/win64/setup.exe, for machines that run no 32-bit
# programs); when the Windows tree has not built them, small placeholder files stand in (and this says so).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: scripts/make_sample.sh BUILD_DIR [win32|win64]" >&2; exit 64; }
build=$(cd "$1" && pwd)
tree=${2:-win32}
case $tree in
  win32) out=$build/dist/setup.exe stage=$build/sample-stage ;;
  win64) out=$build/dist/win64/setup.exe stage=$build/sample-stage-win64 ;;
  *) echo "make_sample: unknown tree $tree" >&2; exit 64 ;;
esac
mkinstaller=$build/native/mkinstaller
[ -x "$mkinstaller" ] || { echo "make_sample: $mkinstaller is not built (make native)" >&2; exit 1; }

# A fresh stage every time, so the installer depends only on the files, never on leftovers.
rm -rf "$stage"
mkdir -p "$stage"
cp -R "$top/sample/product/." "$stage/"

options=()
for program in 霁桐收银端.exe 霁桐餐饮服务.exe; do
  if [ -f "$build/$tree/sample/$program" ]; then
    cp "$build/$tree/sample/$program" "$stage/$program"
  else
    printf 'placeholder for %s: build the %s tree for the real program\r\n' "$program" "$tree" >"$stage/$program"
    echo "make_sample: $build/$tree/sample/$program not built; staged a placeholder"
    # A placeholder is no Windows program, which pack otherwise refuses.
    options+=(--allow-missing-programs)
  fi
done

stub=$build/$tree/setup-stub.exe
if [ ! -f "$stub" ]; then
  stub=$build/placeholder-stub.exe
  # "MZ", the header pointer at 0x3C to "PE\0\0" at 0x40: the headers pack requires of a Windows program.
  { printf 'MZ%58s\x40\x00\x00\x00PE\x00\x00' ''
    printf 'placeholder installer stub: build the %s tree for the real one\r\n' "$tree"; } >"$stub"
  echo "make_sample: $build/$tree/setup-stub.exe not built; packing onto placeholder $stub"
  # The placeholder carries no reader mark, which pack requires for stored blocks.
  options+=(--no-stored)
fi

mkdir -p "$(dirname "$out")"
"$mkinstaller" pack --stub "$stub" --out "$out" "${options[@]}" "$stage"
