#!/usr/bin/env bash
# The demo: builds the sample installer and runs it under wine: on your display when DISPLAY is set (you
# click through it), otherwise on a private Xvfb where it clicks through by itself and saves screenshots of
# the window in BUILD_DIR/demo/. Then it shows where the files, the shortcut and the started cashier
# program are. Last, mkinstaller lists the installer and extracts it exactly as the installer would,
# into a fresh temporary directory.
#
#   scripts/demo.sh BUILD_DIR      (make demo runs it with the build tree)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
mkinstaller=$build/native/mkinstaller
installer=$build/dist/setup.exe

echo "== building the sample installer"
"$top/scripts/make_sample.sh" "$build"

echo
"$top/scripts/demo_gui.py" "$build"

echo
echo "== mkinstaller list $installer"
"$mkinstaller" list "$installer"

dest=$(mktemp -d)
echo
echo "== mkinstaller extract $installer $dest"
"$mkinstaller" extract "$installer" "$dest"

echo
echo "== installed under $dest"
(cd "$dest" && find . -mindepth 1 -printf '%P\t%y\t%s\n' | LC_ALL=C sort) |
  while IFS=$'\t' read -r path type size; do
    depth=$(($(tr -cd / <<<"$path" | wc -c)))
    indent=$(printf '%*s' $((2 * depth)) '')
    if [ "$type" = d ]; then
      echo "$indent${path##*/}/"
    else
      echo "$indent${path##*/}  ($size bytes)"
    fi
  done
echo
echo "(left for a look; remove with: rm -rf $dest)"
