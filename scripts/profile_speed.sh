#!/usr/bin/env bash
# Reads a value from a 10 MB settings file (and rewrites one) with the benchmark of
# bench/ProfileFile_bench.cpp, and fails when one access takes a second or more.
#   scripts/profile_speed.sh [BUILD_DIR]     (default: build-bench, a Release build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-bench}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_WITH_QT=OFF >/dev/null
fi
ninja -C "$build" -j 2 ProfileFile_bench >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$build/bench/ProfileFile_bench" --benchmark_out="$out" --benchmark_out_format=json
python3 - "$out" <<'PY'
import json, sys
worst = 0.0
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    ms = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    print(f'{b["name"]}: {ms:.1f} ms per access')
    worst = max(worst, ms)
sys.exit(0 if worst < 1000 else f"too slow: {worst:.0f} ms")
PY
