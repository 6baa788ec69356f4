#!/usr/bin/env bash
# A really signed installer: the sample product packed by mkinstaller onto the headless runner, signed by
# osslsigncode with a throwaway self-signed certificate made here by openssl. The signature must verify,
# mkinstaller must list, verify and extract the signed file, and the signed installer must install the
# product under wine. Removed again, the signature leaves padding that the reader passes over. A changed block
# byte then breaks the signature and the installer refuses the file.
#
#   signed_installer_test.sh MKINSTALLER_EXE INSTALL_RUNNER_EXE SAMPLE_PROGRAM_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
mkinstaller=$1 runner=$2 programs=$3
. "$top/tests/support/wine_test.sh"
scratch=$(mktemp -d)
desktop="$WINEPREFIX/drive_c/users/$(id -un)/Desktop"
trap 'rm -f "$desktop/霁桐收银端.lnk"; rm -rf "$scratch" 2>/dev/null || { sleep 1; rm -rf "$scratch"; }' EXIT

stage=$scratch/stage
pack_sample "$mkinstaller" "$runner" "$programs" "$stage" "$scratch/setup.exe"
# Signing pads the file to a multiple of 8 before its table: a file of such a size would get no padding,
# and the removed signature below would leave nothing to read past. A small extra file changes the size.
for n in 1 2 3 4 5 6 7 8; do
  [ $(( $(stat -c %s "$scratch/setup.exe") % 8 )) -ne 0 ] && break
  printf '%*s' "$n" '' >"$stage/padding.txt"
  run "$mkinstaller" pack --stub "$(windows_path "$runner")" --out "$(windows_path "$scratch/setup.exe")" \
    "$(windows_path "$stage")" >/dev/null
done

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Jitong throwaway test signer" \
  -keyout "$scratch/key.pem" -out "$scratch/cert.pem" 2>/dev/null
osslsigncode sign -certs "$scratch/cert.pem" -key "$scratch/key.pem" -n "Jitong setup" \
  -in "$scratch/setup.exe" -out "$scratch/signed.exe" >/dev/null
signed=$scratch/signed.exe

check "signing appended a certificate table" \
  "$([ "$(stat -c %s "$signed")" -gt "$(stat -c %s "$scratch/setup.exe")" ] && echo yes || echo no)" yes
check "the last 9 bytes are no longer the trailer" \
  "$(cmp -s <(tail -c 9 "$signed") <(tail -c 9 "$scratch/setup.exe") && echo same || echo differ)" differ
check "osslsigncode verify" \
  "$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$signed" >"$scratch/verify.log" 2>&1 && echo ok || echo failed)" ok

list=$(run "$mkinstaller" list "$(windows_path "$signed")" | tr -d '\r')
check "list names the certificate table" "$(printf '%s\n' "$list" | grep -c '^signature: the payload ends at ')" 1
check "list shows the checksum table" "$(printf '%s\n' "$list" | grep -c '^checksums: a CRC-32 for each block')" 1
check "verify" "$(run "$mkinstaller" verify "$(windows_path "$signed")" >/dev/null && echo ok || echo failed)" ok
run "$mkinstaller" extract "$(windows_path "$signed")" "$(windows_path "$scratch/extracted")" >/dev/null
check "extract gives the packed tree" "$(diff -r "$stage" "$scratch/extracted" && echo same)" same

# The signed installer itself, as the install click runs it.
install_dir="$(windows_path "$scratch/inst")\\"
output=$(JT_SAMPLE_LOG="$(windows_path "$scratch/launches.log")" JT_SAMPLE_EXIT=1 run "$signed" "$install_dir\\" | tr -d '\r')
check "the signed installer ends the dialog" \
  "$(printf '%s\n' "$output" | grep -E '^(event|worker_end|dialog_ended)')" "$(printf 'event end_dialog installing=0\ndialog_ended')"
check "the signed installer installs the packed tree" "$(diff -r "$stage" "$scratch/inst" && echo same)" same
# The cashier program starts on its own after the installer has ended: wait for its line before going on,
# so that nothing still writes into the scratch folder when it is removed.
for _ in $(seq 100); do [ -s "$scratch/launches.log" ] && break; sleep 0.1; done
check "the cashier program was started" "$([ -s "$scratch/launches.log" ] && echo yes || echo no)" yes
check "the signature still verifies after the run" \
  "$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$signed" >/dev/null 2>&1 && echo ok || echo failed)" ok

# The signature removed again: the table goes, the security entry is emptied, the padding stays behind the
# trailer, and the file reads as the unsigned installer it was.
removed=$scratch/removed.exe
osslsigncode remove-signature -in "$signed" -out "$removed" >/dev/null
padding=$(( $(stat -c %s "$removed") - $(stat -c %s "$scratch/setup.exe") ))
check "removing the signature left 1 to 7 bytes of padding" "$([ "$padding" -ge 1 ] && [ "$padding" -le 7 ] && echo yes || echo "no: $padding")" yes
check "the padding is zeros" "$(tail -c "$padding" "$removed" | od -An -tx1 | tr -d ' 0\n')" ""
list=$(run "$mkinstaller" list "$(windows_path "$removed")" | tr -d '\r')
check "list names the padding" "$(printf '%s\n' "$list" | grep -c "^padding: the payload ends at $(stat -c %s "$scratch/setup.exe"); $padding zero bytes follow")" 1
check "verify the unsigned file" "$(run "$mkinstaller" verify "$(windows_path "$removed")" >/dev/null && echo ok || echo failed)" ok
run "$mkinstaller" extract "$(windows_path "$removed")" "$(windows_path "$scratch/unsigned-extracted")" >/dev/null
check "extract of the unsigned file gives the packed tree" "$(diff -r "$stage" "$scratch/unsigned-extracted" && echo same)" same

# One changed byte in the first block: the signature no longer matches, and the block's checksum refuses
# the file before anything is written.
tampered=$scratch/tampered.exe
cp "$signed" "$tampered"
at=$(( $(stat -c %s "$runner") + 20 ))
byte=$(( $(od -An -tu1 -j "$at" -N1 "$tampered") ^ 0x01 ))
printf "\\$(printf '%03o' "$byte")" | dd of="$tampered" bs=1 seek="$at" conv=notrunc status=none
check "osslsigncode verify refuses the changed file" \
  "$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$tampered" >/dev/null 2>&1 && echo ok || echo failed)" failed
output=$(run "$tampered" "$(windows_path "$scratch/tampered-inst")\\\\" | tr -d '\r' | iconv -f cp936 -t utf-8)
check "the changed installer says it is damaged" \
  "$(printf '%s\n' "$output" | grep -E '^(event|worker_end|dialog_ended)' | head -n 1)" \
  "event message installing=1 安装程序已损坏，请重新下载"
check "nothing was installed from the changed file" "$([ -e "$scratch/tampered-inst" ] && echo yes || echo no)" no

finish || { cat "$scratch/verify.log"; false; }
