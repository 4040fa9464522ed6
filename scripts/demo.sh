#!/usr/bin/env bash
# The main job on the built-in example: a real back-up of examples/documents (*.txt and *.csv,
# with sub folders) into BUILD/example-backup.zip, then its listing.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
archive="$build/example-backup.zip"
rm -f "$archive"
echo "Backing up examples/documents (*.txt;*.csv, with sub folders) into $archive:"
"$build/tools/qmzip" -r -C "$top/examples/documents" "$archive" '*.txt' '*.csv'
if command -v unzip >/dev/null 2>&1; then
    unzip -l "$archive"
fi
