#!/usr/bin/env bash
# The benchmark: installs the peers it compares against, then runs bench/bench.py on a build tree.
#
#   bench/run.sh BUILD_DIR        (make bench runs it with the build tree, after make all)
#
# BENCH_ROUNDS=N sets the number of measured rounds (default 7, after one warm-up round).
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: bench/run.sh BUILD_DIR" >&2; exit 64; }
build=$(cd "$1" && pwd)

# 7zip: 7zz; nsis: makensis; lzma-alone: the LZMA SDK's own lzma tool (lzma_alone); xz-utils: xz; zstd;
# time: GNU time for peak memory; gnuplot-nox: the chart; xvfb, xdotool: the installer's window.
"$top/scripts/apt_need.sh" bench 7zip nsis lzma-alone xz-utils zstd time gnuplot-nox xvfb xauth xdotool \
  binutils-mingw-w64-i686

# One persistent wineserver for the build tree's prefix while the benchmark runs.
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
exec "$top/scripts/with_wineserver.sh" python3 "$top/bench/bench.py" --build "$build" --out "$top/bench"
