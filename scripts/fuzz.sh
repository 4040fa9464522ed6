#!/usr/bin/env bash
# Builds one libFuzzer target of tests/fuzz/ and runs it for a while.
#   scripts/fuzz.sh TARGET SECONDS [BUILD_DIR]
# TARGET is a file name of tests/fuzz/ without .cpp (fuzz_zipreader). The seeds in
# tests/fuzz/corpus/TARGET/ (or tests/fuzz/corpus/ followed by TARGET without its "fuzz_") are
# copied to a work corpus (BUILD_DIR/corpus/TARGET) that grows between runs; crashes and slow
# inputs land in BUILD_DIR/artifacts/TARGET/. The dictionary tests/fuzz/TARGET.dict is used when
# it exists. BUILD_DIR defaults to build-fuzz in the repository (clang, -DQM_FUZZ=ON).
# Extra libFuzzer options may follow in FUZZ_OPTIONS (for example "-max_len=65536").
set -euo pipefail
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS [BUILD_DIR]}
seconds=${2:?usage: scripts/fuzz.sh TARGET SECONDS [BUILD_DIR]}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${3:-$top/build-fuzz}

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQM_FUZZ=ON -DQM_WITH_QT=OFF >/dev/null
fi
ninja -C "$build" -j 2 "$target" >/dev/null

corpus=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$corpus" "$artifacts"
for seeds in "$top/tests/fuzz/corpus/$target" "$top/tests/fuzz/corpus/${target#fuzz_}"; do
    if [ -d "$seeds" ]; then
        cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
    fi
done
dict=()
[ -f "$top/tests/fuzz/$target.dict" ] && dict=(-dict="$top/tests/fuzz/$target.dict")

exec "$build/tests/$target" "$corpus" "${dict[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$artifacts/" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    ${FUZZ_OPTIONS:-}
