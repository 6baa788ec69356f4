#!/usr/bin/env bash
# Runs one Windows program under the project's wine prefix (ANSI code page 936); exit code passed through.
. "$(dirname "$0")/wine-env.sh"
exec env LC_ALL=zh_CN.UTF-8 "$JT_WINE" "$@"
