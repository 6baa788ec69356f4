#!/usr/bin/env bash
# The oldest Windows a program runs on stays what the README says: every function it imports must be in the
# checked-in list with a minimum Windows no newer than the list's floor, and so must the OS and subsystem
# versions in its PE header, which the loader checks. A new import fails by name until its documented minimum
# is looked up and added to the list (or, if newer than the floor, the function is loaded with GetProcAddress).
#
#   windows_floor_test.sh OBJDUMP FLOOR_LIST EXE
set -euo pipefail
objdump=$1 list=$2 exe=$3

# Windows releases by name, as the list writes them, and their NT version numbers as the PE header has them.
version_of() {
  case $1 in
    NT4) echo 4.0 ;; 2000) echo 5.0 ;; XP) echo 5.1 ;; 2003|XPx64) echo 5.2 ;; Vista) echo 6.0 ;;
    7) echo 6.1 ;; 8) echo 6.2 ;; 8.1) echo 6.3 ;; 10) echo 10.0 ;; *) echo unknown ;;
  esac
}
# True when version a is newer than version b ("6.0" against "5.1").
newer() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, "."); split(b, y, "."); exit !(x[1] > y[1] || (x[1] == y[1] && x[2] > y[2])) }'; }

failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

floor_name=$(awk '$1 == "floor" { print $2 }' "$list")
floor=$(version_of "$floor_name")
[ "$floor" != unknown ] || { echo "FAIL $list names no known floor"; exit 1; }

dump=$("$objdump" -p "$exe")
for field in OSystemVersion SubsystemVersion; do
  header=$(printf '%s\n' "$dump" | awk -v f="$field" '$1 == "Major" f { major = $2 } $1 == "Minor" f { minor = $2 } END { print major "." minor }')
  [ "$header" != . ] || fail "no $field in the PE header of $exe"
  if newer "$header" "$floor"; then fail "the PE header's $field $header is newer than the floor, Windows $floor_name ($floor)"; fi
done

# "dll function" for every function imported by name; the list holds the same pairs with a minimum Windows.
imports=$(printf '%s\n' "$dump" | awk '
  /^\tDLL Name: / { dll = tolower($3); sub(/\.dll$/, "", dll); next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }' | sort -u)
[ -n "$imports" ] || { echo "FAIL no import table read from $exe"; exit 1; }

# Each import with its listed minimum, or "-" when the list does not have it.
looked_up=$(awk 'NR == FNR { if ($1 !~ /^#/ && NF >= 3) minimum[$1 " " $2] = $3; next }
                 { print $1, $2, (($1 " " $2) in minimum ? minimum[$1 " " $2] : "-") }' "$list" - <<<"$imports")
checked=0
while read -r dll function minimum; do
  checked=$((checked + 1))
  if [ "$minimum" = - ]; then
    fail "$dll.dll $function is not in $(basename "$list"): add it with its documented minimum Windows"
    continue
  fi
  version=$(version_of "$minimum")
  if [ "$version" = unknown ]; then
    fail "$dll.dll $function has an unknown minimum '$minimum' in $(basename "$list")"
  elif newer "$version" "$floor"; then
    fail "$dll.dll $function needs Windows $minimum, newer than the floor, Windows $floor_name: load it with GetProcAddress or replace it"
  fi
done <<<"$looked_up"

[ "$failures" = 0 ] || exit 1
echo "$(basename "$exe"): $checked imported functions and the PE header, none newer than Windows $floor_name"
