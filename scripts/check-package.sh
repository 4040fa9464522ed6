#!/bin/bash
# What a user gets from the build: installs it into a temporary root and makes its Debian
# package there, then checks the manual pages (their sections, no formatting warnings), the
# copyright file and changelog, that Depends names each library once, and, when lintian is
# installed, that lintian finds no error (exit 77, a skip, without it).
# Usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
# Installing writes its manifest into the build folder, so only the build's owner can run it
# (the suite's second run as an ordinary user skips it).
if [ ! -w "$build" ]; then
    echo "the build folder is not writable by this user"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

DESTDIR="$tmp/root" cmake --install "$build" --prefix /usr >/dev/null
for page in qmate qmzip; do
    file="$tmp/root/usr/share/man/man1/$page.1.gz"
    [ -f "$file" ] || fail "cmake --install puts no $page.1.gz in /usr/share/man/man1"
    source=$(zcat "$file")
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
        grep -qx "\.SH \"\?$section\"\?" <<<"$source" || fail "$page.1 has no $section section"
    done
    if command -v man >/dev/null; then
        warnings=$(MANWIDTH=80 man -l --warnings "$file" 2>&1 >/dev/null || true)
        [ -z "$warnings" ] || fail "$page.1: $warnings"
    fi
done

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/deb" >/dev/null) ||
    fail "cpack could not make the package"
deb=$(ls "$tmp"/deb/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in /usr/bin/qmate /usr/bin/qmzip /usr/share/man/man1/qmate.1.gz \
    /usr/share/man/man1/qmzip.1.gz /usr/share/doc/quillmate/copyright \
    /usr/share/doc/quillmate/changelog.gz; do
    grep -q " \.$path\$" <<<"$contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
twice=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ (].*//' | sort | uniq -d)
[ -z "$twice" ] || fail "Depends names $twice more than once: $depends"
echo "Depends: $depends"

if ! command -v lintian >/dev/null; then
    echo "lintian missing"
    exit 77
fi
report=$(lintian "$deb" 2>&1 || true)
echo "$report"
if grep -q '^E: ' <<<"$report"; then fail "lintian reports errors"; fi
echo "OK"
