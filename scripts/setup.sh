#!/usr/bin/env bash
# Sets up a Debian 12 machine (as root) and builds Quillmate.
#   scripts/setup.sh demo   install what is missing, build, and run a back-up of the example
#   scripts/setup.sh test   install what is missing, build, and run every test (also with
#                           AddressSanitizer and UndefinedBehaviorSanitizer, and the
#                           threaded writer's tests with ThreadSanitizer)
# Both are idempotent: installed packages and finished builds are not redone.
set -euo pipefail
mode=${1:-demo}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(cmake ninja-build g++ python3 qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          zlib1g-dev clang libclang-rt-14-dev zip unzip p7zip-full libarchive-tools xvfb)
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

case "$mode" in
demo)
    build build -DCMAKE_BUILD_TYPE=Release
    exec scripts/demo.sh build
    ;;
test)
    build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" -LE 'long|fuzz')
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_BUILD_BENCH=OFF
    (cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
        ctest --output-on-failure -j "$jobs" -LE 'long|fuzz|nosan')
    # The code that runs threads, once more under ThreadSanitizer.
    build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQM_TSAN=ON -DQM_BUILD_BENCH=OFF -DQM_WITH_QT=OFF
    (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
        ctest --output-on-failure -j "$jobs" -LE 'long|fuzz' -R 'TZipWriter|CompressAhead|WindowTail')
    ;;
*)
    echo "usage: $0 demo|test" >&2
    exit 2
    ;;
esac
