#!/usr/bin/env bash
# Makes docs/qmate-main.png (the idle window at its default size), docs/qmate-main-large.png
# (the same window enlarged), docs/qmate-running.png (a back-up of a copy of /usr/include in
# progress) and docs/qmate-about.png in a real X window (Xvfb).
#   scripts/screenshot-main.sh [BUILD_DIR]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cmake --build "$build" --target qmate_screenshots
large=$(mktemp -d)
trap 'rm -rf "$large"' EXIT
# A large folder of many files, so that the run is caught in the middle of one.
cp -rL /usr/include/. "$large/" 2>/dev/null || true
mkdir -p "$top/docs"
xvfb-run -a -s "-screen 0 1024x768x24" \
    env QT_QPA_PLATFORM=xcb "$build/scripts/screenshots/qmate_screenshots" \
    "$top/examples/documents" "$large" \
    "$top/docs/qmate-main.png" "$top/docs/qmate-main-large.png" \
    "$top/docs/qmate-running.png" "$top/docs/qmate-about.png"
echo "wrote docs/qmate-main.png, docs/qmate-main-large.png, docs/qmate-running.png and" \
    "docs/qmate-about.png"
