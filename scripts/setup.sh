#!/usr/bin/env bash
# Sets up a Debian 12 machine (as root) and builds Quillmate.
#   scripts/setup.sh demo   install what is missing, build, and run a back-up of the example
#   scripts/setup.sh test   install what is missing, check the format, build, and run every
#                           test (once more as an ordinary user, with AddressSanitizer and
#                           UndefinedBehaviorSanitizer, and the threaded writer's tests with
#                           ThreadSanitizer)
# Both are idempotent: installed packages and finished builds are not redone.
set -euo pipefail
mode=${1:-demo}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(cmake ninja-build g++ python3 qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          zlib1g-dev clang clang-format libclang-rt-14-dev zip unzip p7zip-full libarchive-tools
          xvfb)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

# Fails on any source file that clang-format would change.
format_check() {
    echo "Checking the format of every source file"
    git -C "$top" ls-files -z '*.h' '*.cpp' | (cd "$top" && xargs -0 clang-format --dry-run -Werror)
}

# Runs the suite of build DIR once more as an ordinary user, so that tests about permissions
# hold for anyone and not only for root. Where that user cannot reach the tree (a checkout
# under a private folder), a copy is built in a folder it can reach.
unprivileged_tests() {  # unprivileged_tests DIR
    local user=qmtest tree=$top build=$1
    id -u "$user" >/dev/null 2>&1 ||
        useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
    local work
    work=$(mktemp -d /tmp/qm-unprivileged.XXXXXX)
    chmod 755 "$work"
    if ! setpriv --reuid="$user" --regid="$user" --clear-groups \
            test -r "$tree/CMakeLists.txt" -a -x "$build/tests"; then
        echo "$user cannot reach $tree: building a copy in $work"
        git -C "$top" ls-files -z | (cd "$top" && xargs -0 cp --parents -t "$work/")
        tree=$work
        build=$work/build
        (cd "$tree" && cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DQM_BUILD_BENCH=OFF >/dev/null && cmake --build build -j "$jobs")
        chmod -R a+rX "$work"
    fi
    # ctest keeps its logs beside the CTestTestfile it starts from: one of the user's own.
    mkdir -p "$work/run"
    echo "subdirs(\"$build\")" > "$work/run/CTestTestfile.cmake"
    chown -R "$user": "$work/run"
    local status=0
    (cd "$work/run" && setpriv --reuid="$user" --regid="$user" --clear-groups \
        env HOME="$work/run" TMPDIR="$work/run" QT_QPA_PLATFORM=offscreen \
        ctest --output-on-failure -j "$jobs" -LE 'long|fuzz') || status=$?
    rm -rf "$work"
    return $status
}

case "$mode" in
demo)
    build build -DCMAKE_BUILD_TYPE=Release
    exec scripts/demo.sh build
    ;;
test)
    format_check
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" -LE 'long|fuzz')
    unprivileged_tests "$top/build"
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_BENCH=OFF
    (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
        ctest --output-on-failure -j "$jobs" -LE 'long|fuzz|nosan')
    # The code that runs threads, once more under ThreadSanitizer.
    build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQM_TSAN=ON -DQM_BUILD_BENCH=OFF -DQM_WITH_QT=OFF
    (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
        ctest --output-on-failure -j "$jobs" -LE 'long|fuzz' -R 'TZipWriter|CompressAhead|QmzipThreads')
    ;;
*)
    echo "usage: $0 demo|test" >&2
    exit 2
    ;;
esac
