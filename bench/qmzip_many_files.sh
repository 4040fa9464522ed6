#!/bin/bash
# Back-ups of very many small files: wall time and peak memory of qmzip over FOLDERS folders
# of FILES empty files each, at two sizes, so that the growth with the file count shows.
#
#   bench/qmzip_many_files.sh QMZIP [FOLDERS] [FILES] [WORKDIR]
#
# Defaults: 1000 folders of 1000 files (1,000,000 files) and a quarter-size run before it.
# Prints one line per run: files, wall seconds, CPU seconds (user + system), peak RSS in MiB;
# fails when a run's peak RSS is 256 MiB or more, or when the large run takes more than 6 times
# the CPU time of the quarter run (linear growth would take 4 times; CPU time, because wall time
# on a shared machine says more about the neighbours than about the program).
set -euo pipefail
qmzip=${1:?usage: qmzip_many_files.sh QMZIP [FOLDERS] [FILES] [WORKDIR]}
folders=${2:-1000}
files=${3:-1000}
work=$(mktemp -d "${4:-${TMPDIR:-/tmp}}/qmzip-many.XXXXXX")
trap 'rm -rf "$work"' EXIT
limit_kib=$((256 * 1024))

make_tree() {  # folder count, file count, root
    python3 "$(dirname "$0")/many_files_tree.py" "$1" "$2" "$3"
}

run() {  # folder count -> "seconds rss_kib"
    local n=$1 root="$work/src$1" archive="$work/out$1.zip"
    make_tree "$n" "$files" "$root"
    /usr/bin/time -v "$qmzip" -q -r -C "$root" "$archive" '*' >"$work/out" 2>"$work/time"
    local secs rss
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
                        for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' "$work/time")
    printf '%9d files  %8.2f s wall  %8.2f s CPU  %7.1f MiB peak RSS  (%s)\n' $((n * files)) \
        "$secs" "$cpu" "$(echo "$rss / 1024" | bc -l)" "$(cat "$work/out")" >&2
    rm -rf "$root" "$archive"
    echo "$cpu $rss"
}

read -r small_cpu small_rss < <(run $((folders / 4)))
read -r large_cpu large_rss < <(run "$folders")
status=0
for rss in "$small_rss" "$large_rss"; do
    if ((rss >= limit_kib)); then
        echo "FAIL: peak RSS $rss KiB is not under 256 MiB" >&2
        status=1
    fi
done
if (($(echo "$large_cpu > 6 * $small_cpu + 1" | bc -l))); then
    echo "FAIL: CPU time grows faster than the file count ($small_cpu s -> $large_cpu s)" >&2
    status=1
fi
exit $status
