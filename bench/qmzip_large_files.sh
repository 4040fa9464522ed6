#!/bin/bash
# Large files on every core: qmzip -j 1 against -j 2 on a tree of four files of 40 MB (text from
# /usr/include, with a share of noise), and on one file of 100 MB among 5,000 small ones. Prints
# wall and CPU seconds and the peak RSS of each run; fails when the archives differ or a run
# peaks at 48 MiB or more. Wall times on a shared machine are indicative only.
#
#   bench/qmzip_large_files.sh QMZIP [WORKDIR]
set -euo pipefail
qmzip=${1:?usage: qmzip_large_files.sh QMZIP [WORKDIR]}
work=$(mktemp -d "${2:-${TMPDIR:-/tmp}}/qmzip-large.XXXXXX")
trap 'rm -rf "$work"' EXIT
limit_kib=$((48 * 1024))

make_file() {  # path, MB: text with one part in eight of noise
    python3 - "$1" "$2" <<'PY'
import os, sys, glob
path, size = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
text = b''.join(open(f, 'rb').read() for f in sorted(glob.glob('/usr/include/*.h')))
with open(path, 'wb') as out:
    n = 0
    while n < size:
        piece = text[:size - n] if n % 8 else os.urandom(min(len(text) // 7, size - n))
        out.write(piece)
        n += len(piece)
PY
}

status=0
run() {  # label, tree
    local label=$1 tree=$2 first=""
    for j in 1 2; do
        local archive="$work/$label-j$j.zip"
        /usr/bin/time -v "$qmzip" -q -r -j "$j" -C "$tree" "$archive" '*' >/dev/null 2>"$work/time"
        local secs rss cpu
        secs=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
                            for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time")
        rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
        cpu=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' "$work/time")
        printf '%-12s -j %d  %7.2f s wall  %7.2f s CPU  %6.1f MiB peak RSS\n' "$label" "$j" \
            "$secs" "$cpu" "$(echo "$rss / 1024" | bc -l)"
        if ((rss >= limit_kib)); then
            echo "FAIL: $label -j $j peaks at $rss KiB" >&2
            status=1
        fi
    done
    if ! cmp -s "$work/$label-j1.zip" "$work/$label-j2.zip"; then
        echo "FAIL: $label: the archives of -j 1 and -j 2 differ" >&2
        status=1
    fi
    rm -f "$work/$label"-j*.zip
}

mkdir -p "$work/four"
for i in 1 2 3 4; do make_file "$work/four/f$i.dat" 40; done
run four "$work/four"
rm -rf "$work/four"

mkdir -p "$work/mixed/small"
make_file "$work/mixed/big.dat" 100
python3 - "$work/mixed/small" <<'PY'
import os, sys, glob
text = b''.join(open(f, 'rb').read() for f in sorted(glob.glob('/usr/include/*.h')))
for i in range(5000):
    at = (i * 7919) % (len(text) - 20000)
    with open(os.path.join(sys.argv[1], 's%04d.txt' % i), 'wb') as f:
        f.write(text[at:at + 1000 + i % 15000])
PY
run mixed "$work/mixed"
exit $status
