# Sourced by scripts that run wine: the environment every wine command of this project uses (wine.env beside
# this file holds the values), the wine launcher for this machine, wine_cmd, wineserver_running and windows_path.
# WINEPREFIX defaults to the prefix inside the build tree; callers may point it elsewhere.
_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$(dirname "$_here")/build/wineprefix}"
# LC_ALL is kept apart and given to wine alone through env, so the shell itself does not try the locale.
while IFS='=' read -r _name _value; do
  case $_name in
    '' | '#'*) ;;
    LC_ALL) wine_locale=$_value ;;
    *) export "$_name=$_value" ;;
  esac
done <"$_here/wine.env"
# wine starts 32-bit programs and hands 64-bit ones to wine64; where the kernel runs no 32-bit programs, wine
# itself cannot start, and wine64 runs the 64-bit builds directly.
if [ "$("$_here/win_run_arch.sh")" = i686 ]; then
  export JT_WINE=wine
else
  export JT_WINE=/usr/lib/wine/wine64
fi
unset _here _name _value
wine_cmd() { env LC_ALL="$wine_locale" "$JT_WINE" "$@"; }
# True when a wineserver serves the prefix (it works in a directory named after the prefix's device and inode).
wineserver_running() {
  local key pid
  key=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX" 2>/dev/null || echo 0 0))
  for pid in $(pgrep wineserver || true); do
    case $(readlink "/proc/$pid/cwd" 2>/dev/null || true) in */"$key") return 0 ;; esac
  done
  return 1
}
# A Linux path as wine programs see it, on drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
