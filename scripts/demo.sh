#!/usr/bin/env bash
# The main job on the built-in example: what a back-up of examples/documents takes.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
echo "Files a back-up of examples/documents (*.txt;*.csv, with sub folders) takes:"
"$build/tools/qmlist" -r "$top/examples/documents" '*.txt' '*.csv'
