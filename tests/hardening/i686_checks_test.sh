#!/usr/bin/env bash
# The i686 tree's 32-bit checks catch each fault: every fixture in FIXTURES compiled with the tree's own command
# fails, naming its warning (its "expect:" line); clean.cpp, the right forms of the same code, compiles.
# Usage: i686_checks_test.sh FIXTURES COMPILE-COMMAND...
set -uo pipefail
fixtures=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
for source in "$fixtures"/*.cpp; do
  name=$(basename "$source")
  expect=$(sed -n 's|^// expect: ||p' "$source" | head -n 1)
  "$@" -c "$source" -o "$scratch/probe.obj" >"$scratch/out" 2>&1
  status=$?
  if [ "$expect" = nothing ]; then
    if [ "$status" -ne 0 ]; then
      echo "FAIL $name: the right forms do not compile:"; cat "$scratch/out"; failed=1
    else
      echo "ok   $name compiles"
    fi
  elif [ "$status" -eq 0 ]; then
    echo "FAIL $name: compiled; $expect should have stopped it"; failed=1
  elif ! grep -Eq -- "(=|-W)${expect#-W}[]=]" "$scratch/out"; then
    echo "FAIL $name: failed, but not by $expect:"; cat "$scratch/out"; failed=1
  else
    echo "ok   $name refused by $expect"
  fi
done
exit "$failed"
