# Sourced by scripts that run wine: the environment every wine command of this project uses.
# WINEPREFIX defaults to the prefix inside the build tree; callers may point it elsewhere.
_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$_top/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
unset _top
# LC_ALL=zh_CN.UTF-8 gives wine ANSI code page 936; set through env so the shell itself does not try the locale.
wine_cmd() { env LC_ALL=zh_CN.UTF-8 wine "$@"; }
