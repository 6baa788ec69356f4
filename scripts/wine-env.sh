# Sourced by scripts that run wine: the environment every wine command of this project uses (wine.env beside
# this file holds the values), wine_cmd and windows_path.
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
unset _here _name _value
wine_cmd() { env LC_ALL="$wine_locale" wine "$@"; }
# A Linux path as wine programs see it, on drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
