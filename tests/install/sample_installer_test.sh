#!/usr/bin/env bash
# The sample installer's payload run by the headless runner: sample/product and the two programs are packed
# by mkinstaller onto the runner, which installs into a scratch folder under wine. The cashier program must
# start maximised from the install directory, its shortcut (only it, flags 0) must be on the wine desktop,
# and the installed tree must equal what was packed.
#
#   sample_installer_test.sh MKINSTALLER_EXE INSTALL_RUNNER_EXE SAMPLE_PROGRAM_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
mkinstaller=$1 runner=$2 programs=$3
. "$top/tests/support/wine_test.sh"
desktop="$WINEPREFIX/drive_c/users/$(id -un)/Desktop"
cashier_link="$desktop/霁桐收银端.lnk"
service_link="$desktop/霁桐餐饮.lnk"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"; rm -f "$cashier_link" "$service_link"' EXIT
rm -f "$cashier_link" "$service_link"

stage=$scratch/stage
pack_sample "$mkinstaller" "$runner" "$programs" "$stage" "$scratch/setup.exe"

install_dir="$(windows_path "$scratch/inst/霁桐餐饮")\\"
log=$scratch/launches.log
# The doubled backslash ends the argument with one backslash rather than escaping its closing quote.
output=$(JT_SAMPLE_LOG="$(windows_path "$log")" JT_SAMPLE_EXIT=1 run "$scratch/setup.exe" "$install_dir\\" | iconv -f cp936 -t utf-8)

check "what the worker asked of the window" "$(printf '%s\n' "$output" | grep -E '^(event|worker_end|dialog_ended)' | tr -d '\r')" \
  "$(printf 'event end_dialog installing=0\ndialog_ended')"

# The program is started without waiting for it: give it a bounded while to write its line.
for _ in $(seq 100); do [ -s "$log" ] && break; sleep 0.1; done
line=$(tr -d '\r' <"$log" 2>/dev/null | cut -f1-3 || true)
check "cashier started maximised from the install directory" "$line" \
  "$(printf '%s霁桐收银端.exe\t%s\t3' "$install_dir" "${install_dir%\\}")"

check "cashier shortcut on the desktop" "$([ -f "$cashier_link" ] && echo yes || echo no)" yes
check "no service shortcut" "$([ -f "$service_link" ] && echo yes || echo no)" no
if [ -f "$cashier_link" ]; then
  target=$(lnkinfo -c windows-936 "$cashier_link" | sed -n 's/^[[:space:]]*Local path[[:space:]]*: //p')
  check "cashier shortcut target" "$target" "${install_dir}霁桐收银端.exe"
fi
check "installed tree equals the packed tree" "$(diff -r "$stage" "$scratch/inst/霁桐餐饮" && echo same)" same

finish
