#!/bin/bash
# Updates of an archive of very many small files: wall time and peak memory of qmzip when it
# rebuilds an archive of FOLDERS x FILES entries with nothing changed, and again with one file in
# a hundred rewritten, at two sizes, so that the growth with the entry count shows.
#
#   bench/qmzip_update_many.sh QMZIP [FOLDERS] [FILES] [WORKDIR]
#
# Defaults: 1000 folders of 1000 files (1,000,000 entries) and a quarter-size tree before it.
# The files hold a few bytes each, so that the changed ones are deflated again. Prints one line
# per run; fails when a run's peak RSS is 256 MiB or more, or when an update of the large tree
# takes more than 6 times the CPU time of the quarter one (linear growth takes 4 times).
set -euo pipefail
qmzip=${1:?usage: qmzip_update_many.sh QMZIP [FOLDERS] [FILES] [WORKDIR]}
folders=${2:-1000}
files=${3:-1000}
work=$(mktemp -d "${4:-${TMPDIR:-/tmp}}/qmzip-update.XXXXXX")
trap 'rm -rf "$work"' EXIT
limit_kib=$((256 * 1024))

make_tree() {  # folder count, file count, root
    python3 "$(dirname "$0")/many_files_tree.py" --content "$1" "$2" "$3"
}

change_some() {  # root: rewrites every hundredth file, dated after the archive's entries
    python3 - "$1" <<'PY'
import os, sys, time
root = sys.argv[1]
later = time.time() + 10
n = 0
for folder in sorted(os.listdir(root)):
    for name in sorted(os.listdir(os.path.join(root, folder)))[::100]:
        path = os.path.join(root, folder, name)
        with open(path, 'ab') as f:
            f.write(b'changed ' * 8)
        os.utime(path, (later, later))
        n += 1
print(n)
PY
}

measure() {  # label, entries, command... -> "cpu rss"
    local label=$1 entries=$2
    shift 2
    /usr/bin/time -v "$@" >"$work/out" 2>"$work/time"
    local secs rss cpu
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
                        for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
    cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' "$work/time")
    printf '%9d entries  %-16s %8.2f s wall  %8.2f s CPU  %7.1f MiB peak RSS\n' "$entries" \
        "$label" "$secs" "$cpu" "$(echo "$rss / 1024" | bc -l)" >&2
    echo "$cpu $rss"
}

run() {  # folder count -> "create_cpu same_cpu changed_cpu max_update_rss"
    local n=$1 root="$work/src$1" archive="$work/out$1.zip" entries=$(($1 * files))
    make_tree "$n" "$files" "$root"
    local c0 r0 c1 r1 c2 r2
    read -r c0 r0 < <(measure create "$entries" "$qmzip" -q -r -C "$root" "$archive" '*')
    read -r c1 r1 < <(measure 'no change' "$entries" "$qmzip" -q -r -C "$root" "$archive" '*')
    change_some "$root" >/dev/null
    read -r c2 r2 < <(measure '1% changed' "$entries" "$qmzip" -q -r -C "$root" "$archive" '*')
    rm -rf "$root" "$archive"
    echo "$c1 $c2 $((r1 > r2 ? r1 : r2))"
}

read -r small_same small_changed small_rss < <(run $((folders / 4)))
read -r large_same large_changed large_rss < <(run "$folders")
status=0
for rss in "$small_rss" "$large_rss"; do
    if ((rss >= limit_kib)); then
        echo "FAIL: peak RSS $rss KiB of an update is not under 256 MiB" >&2
        status=1
    fi
done
for pair in "$small_same $large_same" "$small_changed $large_changed"; do
    read -r small large <<<"$pair"
    if (($(echo "$large > 6 * $small + 1" | bc -l))); then
        echo "FAIL: update CPU time grows faster than the entry count ($small s -> $large s)" >&2
        status=1
    fi
done
exit $status
