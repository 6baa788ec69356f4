#!/usr/bin/env bash
# Runs one Windows program under the project's wine prefix and locale (wine_env.sh); exit code passed through.
. "$(dirname "$0")/wine_env.sh"
exec env LC_ALL="$wine_locale" "$JT_WINE" "$@"
