#!/usr/bin/env bash
# The one-way layering is enforced by the build: builds each include-root probe (cmake/layer_probes.cmake) and
# requires every upward include to fail on its missing header and the allowed one to compile.
#
#   tests/hardening/layering_test.sh BUILD_DIR PROBE_TARGET...
set -uo pipefail
build=$1
shift
failed=0
for target in "$@"; do
  output=$(cmake --build "$build" --target "$target" 2>&1)
  status=$?
  case $target in
    layer_probe_allowed)
      if [ $status -ne 0 ]; then
        echo "FAIL $target: the allowed includes do not compile"; echo "$output" | tail -n 5; failed=1
      else
        echo "ok   $target compiles"
      fi ;;
    *)
      if [ $status -eq 0 ]; then
        echo "FAIL $target: an upward include compiled"; failed=1
      elif ! grep -Eq "No such file or directory|file not found" <<<"$output"; then
        echo "FAIL $target: failed, but not for its missing header"; echo "$output" | tail -n 5; failed=1
      else
        echo "ok   $target refused: $(grep -Eo "'?[a-z_]*/[a-z_]*\.h'?:? (No such file or directory|file not found)" <<<"$output" | head -n 1)"
      fi ;;
  esac
done
exit $failed
