# Sourced by scripts that run wine: the environment every wine command of this project uses.
# WINEPREFIX defaults to the prefix inside the build tree; callers may point it elsewhere.
_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$_top/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# wine starts 32-bit programs and hands 64-bit ones to wine64; where the kernel runs no 32-bit programs, wine
# itself cannot start, and wine64 runs the 64-bit builds directly.
if [ "$("$_top/scripts/win-run-arch.sh")" = i686 ]; then
  export JT_WINE=wine
else
  export JT_WINE=/usr/lib/wine/wine64
fi
unset _top
# LC_ALL=zh_CN.UTF-8 gives wine ANSI code page 936; set through env so the shell itself does not try the locale.
wine_cmd() { env LC_ALL=zh_CN.UTF-8 "$JT_WINE" "$@"; }
