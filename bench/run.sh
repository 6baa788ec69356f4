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

# 7zip: 7zz; nsis: makensis; lzma-alone: the LZMA SDK's own lzma tool (lzma_alone); xz-utils: xz;
# time: GNU time for peak memory; gnuplot-nox: the chart; xvfb, xdotool: the installer's window.
packages=(7zip nsis lzma-alone xz-utils time gnuplot-nox xvfb xauth xdotool binutils-mingw-w64-i686)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# One persistent wineserver for the build tree's prefix while the benchmark runs.
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
exec "$top/scripts/with-wineserver.sh" python3 "$top/bench/bench.py" --build "$build" --out "$top/bench"
