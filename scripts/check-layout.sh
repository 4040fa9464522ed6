#!/usr/bin/env bash
# Fails when a source includes a project header from a layer it may not use, or when a layer
# without Qt includes a Qt header. The CMake targets link only downwards; this keeps the
# headers in step with them, since every target sees the whole tree on its include path.
#   scripts/check-layout.sh [TOP]     (default: the repository holding this script)
set -euo pipefail
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top"

# folder (files directly in it, not in sub-folders when "flat") | the include prefixes it may use
rules=(
    "platform|platform/"
    "zip/checksum|zip/checksum/"
    "zip/deflate|zip/deflate/ platform/"
    "zip/format|zip/format/ zip/ZipErrors.h platform/"
    "zip/walk|zip/walk/ platform/"
    "zip/check|zip/check/"
    "zip:flat|zip/ platform/"
    "foldertree|foldertree/ platform/"
    "app|app/ zip/ foldertree/ platform/"
    "tools|tools/ zip/ platform/"
)
no_qt=(platform zip tools)

failed=0
for rule in "${rules[@]}"; do
    folder=${rule%%|*}
    allowed=${rule#*|}
    depth=()
    if [[ $folder == *:flat ]]; then
        folder=${folder%:flat}
        depth=(-maxdepth 1)
    fi
    [ -d "$folder" ] || continue
    while IFS= read -r file; do
        while IFS= read -r included; do
            ok=0
            [[ $included != */* ]] && ok=1  # a header beside the file
            for prefix in $allowed; do
                [[ $included == "$prefix"* ]] && ok=1
            done
            if [ $ok -eq 0 ]; then
                echo "$file: includes \"$included\", outside what $folder/ may use ($allowed)"
                failed=1
            fi
        done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/p' "$file")
    done < <(find "$folder" "${depth[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
done

for folder in "${no_qt[@]}"; do
    [ -d "$folder" ] || continue
    if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$folder" --include='*.h' --include='*.cpp'; then
        echo "$folder/ must not use Qt"
        failed=1
    fi
done

[ $failed -eq 0 ] && echo "layout: every include goes downwards"
exit $failed
