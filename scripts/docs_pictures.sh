#!/usr/bin/env bash
# Regenerates the README's pictures, docs/idle.png and docs/progress.png: the window's idle and progress
# screens as the headless demo run photographs them (600 x 400 each). Run after make.
#
#   scripts/docs_pictures.sh [BUILD_DIR]      (default: build)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)

env -u DISPLAY "$top/scripts/demo_gui.py" "$build" >/dev/null
mkdir -p "$top/docs"
cp "$build/demo/idle.png" "$build/demo/progress.png" "$top/docs/"
echo "docs_pictures: wrote $top/docs/idle.png and $top/docs/progress.png"
