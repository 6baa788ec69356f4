#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; creates the wine prefix in the build tree.
# Idempotent and quick when everything is already there.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
  lzma-dev xz-utils zlib1g-dev libz-mingw-w64-dev
  clang libclang-rt-14-dev osslsigncode openssl
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 fonts-wine
  libxrender1 libxrandr2 libxcursor1 libxi6 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
  libgnutls30 libdbus-1-3 xvfb xauth x11-utils xdotool imagemagick
  fonts-wqy-microhei fonts-arphic-uming liblnk-utils locales
)
"$top/scripts/apt_need.sh" setup "${packages[@]}"

# Wine maps Windows file names to Unix ones through the process locale: without a generated
# zh_CN.UTF-8 every non-ASCII file name fails to open.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "setup: generating locale zh_CN.UTF-8"
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

if [ "${1:-}" != "--no-wine" ]; then
  "$top/scripts/wineprefix.sh"
fi
