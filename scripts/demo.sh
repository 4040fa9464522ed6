#!/usr/bin/env bash
# The main job on the built-in example: an unattended qmate back-up of examples/documents
# (the example list "Documents": *.txt and *.csv, with sub folders) into BUILD/example-backup.zip,
# with its settings in a temporary folder, then the archive's listing. Without a display qmate
# runs offscreen by itself.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
archive="$build/example-backup.zip"
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT

# The settings file as the lists dialog writes it: one list, no other state.
cat > "$settings/QMApps.ini" <<'INI'
[Quillmate FileTypesLists]
Width0=100
Width1=165
Item1=Documents,*.txt;*.csv
INI

echo "Backing up $top/examples/documents (list Documents: *.txt;*.csv, with sub folders)"
status=0
windir="$settings" "$build/app/qmate" "Src=$top/examples/documents" Sub Lst=Documents \
    "Dest=$archive" || status=$?
echo "qmate exited with status $status; the archive is $archive"
echo "Settings it stored (section Quillmate Last of $settings/QMApps.ini):"
sed -n '/^\[Quillmate Last\]/,/^\[/p' "$settings/QMApps.ini"
if command -v unzip >/dev/null 2>&1; then
    unzip -l "$archive"
else
    python3 -m zipfile -l "$archive"
fi
exit "$status"
