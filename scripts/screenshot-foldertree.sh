#!/usr/bin/env bash
# Makes docs/foldertree.png: the folder tree in a real X window (Xvfb).
#   scripts/screenshot-foldertree.sh [BUILD_DIR]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cmake --build "$build" --target foldertree_screenshot
mkdir -p "$top/docs"
xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$build/scripts/screenshots/foldertree_screenshot" "$top/docs/foldertree.png"
echo "wrote $top/docs/foldertree.png"
