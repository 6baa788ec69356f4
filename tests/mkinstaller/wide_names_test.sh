#!/usr/bin/env bash
# mkinstaller.exe on a Windows whose ANSI code page is not 936 (wine with LC_ALL=C.UTF-8: code page 1252, as
# on an English Windows): it takes paths with Chinese names from its command line, packs such a tree with its
# names in code page 936, and lists them as UTF-8 on a pipe.
#
#   wide_names_test.sh MKINSTALLER_EXE
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
mkinstaller=$1
. "$top/tests/support/wine_test.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

src=$scratch/霁桐餐饮
mkdir -p "$src/菜单"
printf cash >"$src/收银.exe"
printf 'menu\r\n' >"$src/菜单/今日.txt"
installer=$scratch/安装程序.exe

# The tool itself serves as the program image: a Windows program without the reader mark, so --no-stored; the
# tree has no programs of the product's, so --allow-missing-programs.
out=$(in_wine_locale C.UTF-8 "$mkinstaller" pack --no-stored --allow-missing-programs --stub "$(windows_path "$mkinstaller")" \
  --out "$(windows_path "$installer")" "$(windows_path "$src")" | tr -d '\r') || true
check "pack wrote the installer of the Chinese path" "$([ -s "$installer" ] && echo yes || echo no)" yes
check "pack names it in UTF-8" "$(printf '%s\n' "$out" | grep -c "^wrote $(windows_path "$installer" | sed 's/\\/\\\\/g'): ")" 1

list=$(in_wine_locale C.UTF-8 "$mkinstaller" list "$(windows_path "$installer")" | tr -d '\r') || true
check "list shows the names" "$(printf '%s\n' "$list" | grep -E '^  (file|dir) ' | sed 's/  */ /g')" \
  "$(printf ' file 4 \\收银.exe\n dir \\菜单\n file 6 \\菜单\\今日.txt')"
check "list ends with ok" "$(printf '%s\n' "$list" | tail -n 1 | grep -c ': ok: 2 blocks, 1 directories, 2 files, ')" 1

# Extracting into a destination with a Chinese name: the engine takes it in UTF-8 and creates it through the
# wide calls.
in_wine_locale C.UTF-8 "$mkinstaller" extract "$(windows_path "$installer")" "$(windows_path "$scratch/目标")" >/dev/null || true
check "extract into a Chinese destination gives the tree" "$(diff -r "$src" "$scratch/目标" && echo same)" same

finish
