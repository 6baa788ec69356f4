#!/usr/bin/env bash
# Creates the project's wine prefix (ACP 936, Song-style font substitutes, unmanaged windows) once.
set -euo pipefail
. "$(dirname "$0")/wine_env.sh"

# The stamp names what the prefix was made with; a prefix from an older recipe is made again. Version 2:
# the font substitutes are written with the zh_CN.UTF-8 locale present (without it their Chinese names
# were stored garbled and 宋体 fell back to a font without CJK glyphs).
stamp="$WINEPREFIX/.project-ready"
version="prefix 2"
[ "$(cat "$stamp" 2>/dev/null)" = "$version" ] && exit 0

echo "setup: creating wine prefix $WINEPREFIX"
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX" "$WINEPREFIX.home"
export HOME="$WINEPREFIX.home"
wine_cmd wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w

# Without a window manager, hiding or destroying a managed window stalls for seconds.
wine_cmd reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in SimSun NSimSun 宋体 新宋体; do
  wine_cmd reg add "$subst" /v "$face" /t REG_SZ /d 'AR PL UMing CN' /f >/dev/null 2>&1
done
wineserver -w
echo "$version" >"$stamp"
