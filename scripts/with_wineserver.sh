#!/usr/bin/env bash
# Runs a command with a persistent wineserver for the project's prefix, so each wine start is quick.
# The server and wine's background services start here with no inherited pipes: a test runner that
# reads a test's output would otherwise wait for those services to close it.
# A server that already serves the prefix (make bench beside make test-win32) is used and left running;
# one started here is stopped at the end.
set -euo pipefail
. "$(dirname "$0")/wine_env.sh"

if ! wineserver_running; then
  wineserver -p >/dev/null 2>&1 </dev/null &
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
fi
wine_cmd wineboot >/dev/null 2>&1 </dev/null
"$@"
