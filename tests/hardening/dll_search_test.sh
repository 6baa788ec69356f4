#!/usr/bin/env bash
# The DLL search restriction under wine: a DLL beside the program (and in the current directory) is found
# by the default search, and is not found once restrict_dll_search has run.
#
#   dll_search_test.sh DLL_SEARCH_PROBE_EXE
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
probe=$1
cd "$(dirname "$probe")"
[ -f jt_planted.dll ] || { echo "FAIL jt_planted.dll is not beside the probe"; exit 1; }
open=$("$top/scripts/wine_run.sh" "$probe" open | tr -d '\r')
restricted=$("$top/scripts/wine_run.sh" "$probe" restricted | tr -d '\r')
echo "default search: $open; restricted: $restricted"
[ "$open" = loaded ] && [ "$restricted" = "not loaded" ]
