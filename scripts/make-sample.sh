#!/usr/bin/env bash
# Builds the sample installer BUILD_DIR/dist/setup.exe: sample/product plus the two programs the
# installer launches, packed by the native mkinstaller onto the installer stub.
#
#   scripts/make-sample.sh BUILD_DIR
#
# Programs come from BUILD_DIR/win32/sample/ and the stub is BUILD_DIR/win32/setup-stub.exe; when the
# Windows tree has not built them, small placeholder files stand in (and this says so).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: scripts/make-sample.sh BUILD_DIR" >&2; exit 64; }
build=$(cd "$1" && pwd)
mkinstaller=$build/native/mkinstaller
[ -x "$mkinstaller" ] || { echo "make-sample: $mkinstaller is not built (make native)" >&2; exit 1; }

# A fresh stage every time, so the installer depends only on the files, never on leftovers.
stage=$build/sample-stage
rm -rf "$stage"
mkdir -p "$stage"
cp -R "$top/sample/product/." "$stage/"

for program in 霁桐收银端.exe 霁桐餐饮服务.exe; do
  if [ -f "$build/win32/sample/$program" ]; then
    cp "$build/win32/sample/$program" "$stage/$program"
  else
    printf 'placeholder for %s: build the win32 tree for the real program\r\n' "$program" >"$stage/$program"
    echo "make-sample: $build/win32/sample/$program not built; staged a placeholder"
  fi
done

stub=$build/win32/setup-stub.exe
if [ ! -f "$stub" ]; then
  stub=$build/placeholder-stub.exe
  printf 'MZ placeholder installer stub: build the win32 tree for the real one\r\n' >"$stub"
  echo "make-sample: $build/win32/setup-stub.exe not built; packing onto placeholder $stub"
fi

mkdir -p "$build/dist"
"$mkinstaller" pack --stub "$stub" --out "$build/dist/setup.exe" "$stage"
