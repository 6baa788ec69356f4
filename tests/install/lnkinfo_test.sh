#!/usr/bin/env bash
# Shortcuts written by create_shortcut (under wine), parsed on the Linux side by lnkinfo from liblnk-utils
# and by the raw header fields of the shell-link format: an independent reader of the file written.
#
#   lnkinfo_test.sh SHORTCUT_TOOL_EXE
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tool=$1

. "$top/tests/support/wine_test.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folder=$(windows_path "$scratch")

run "$tool" "$folder"

field() {  # lnkinfo output, field name
  printf '%s\n' "$1" | sed -n "s/^[[:space:]]*$2[[:space:]]*: //p" | head -n1
}
# Header fields at fixed offsets: ShowCommand (32-bit) at 0x3C, HotKey (16-bit) at 0x40, little-endian.
show_command() { od -An -tu4 -j60 -N4 --endian=little "$1" | tr -d ' '; }
hot_key() { od -An -tx2 -j64 -N2 --endian=little "$1" | tr -d ' '; }

# The local path is stored in the ANSI code page; lnkinfo converts it with -c.
link="$scratch/霁桐收银端.lnk"
[ -f "$link" ] || { echo "FAIL no shortcut $link"; exit 1; }
info=$(lnkinfo -c windows-936 "$link")
check "worker shortcut target" "$(field "$info" 'Local path')" "$folder\\霁桐收银端.exe"
check "worker shortcut working directory" "$(field "$info" 'Working directory')" "$folder\\"
check "worker shortcut description" "$(field "$info" 'Description')" "北京霁桐科技"
check "worker shortcut show command" "$(show_command "$link")" "1"
check "worker shortcut hot key" "$(hot_key "$link")" "0000"

link="$scratch/hotkey.lnk"
[ -f "$link" ] || { echo "FAIL no shortcut $link"; exit 1; }
info=$(lnkinfo -c windows-936 "$link")
check "hot key shortcut target" "$(field "$info" 'Local path')" "$folder\\霁桐收银端.exe"
check "hot key shortcut has no description" "$(printf '%s\n' "$info" | grep -c 'Contains a description string' || true)" "0"
check "hot key shortcut has no working directory" \
  "$(printf '%s\n' "$info" | grep -c 'Contains a working directory string' || true)" "0"
check "hot key shortcut show command" "$(show_command "$link")" "3"
check "hot key shortcut hot key (Ctrl+A)" "$(hot_key "$link")" "0641"

finish
