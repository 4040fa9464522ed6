#!/usr/bin/env bash
# Makes docs/dlg-file-types-lists.png and docs/dlg-file-types-list-item.png: the two file types
# lists dialogs in a real X window (Xvfb).
#   scripts/screenshot-dialogs.sh [BUILD_DIR]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cmake --build "$build" --target app_dialogs_screenshot
mkdir -p "$top/docs"
xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$build/scripts/screenshots/app_dialogs_screenshot" \
    "$top/docs/dlg-file-types-lists.png" "$top/docs/dlg-file-types-list-item.png"
echo "wrote $top/docs/dlg-file-types-lists.png and $top/docs/dlg-file-types-list-item.png"
