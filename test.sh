#!/usr/bin/env bash
# Installs what is missing, checks that nothing outside platform/posix_* reaches the OS (the
# Qt-free part compiles for Windows), builds, and runs every test twice: a normal build and one
# under AddressSanitizer and UndefinedBehaviorSanitizer; the tests of the engine's threads (the
# header pass's readers, the run's listing ahead and its log emptying) also run under
# ThreadSanitizer. Exits non-zero when anything fails; prints
# at its end the lines of test code against the lines of program code.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Tests must never touch the user's own registry file.
export QUORVEL_REGISTRY="$(mktemp -d)/registry.reg"

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
}

echo "== the OS seam: the Qt-free part compiles for Windows =="
JOBS=$jobs ./scripts/cross-check.sh build/cross-check
echo "== build and test =="
run_suite build
echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
# Leaks inside the system's libraries that Qt loads are suppressed; ours are reported.
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_suite build-asan -DQV_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug
echo "== the header pass's readers and the run's helper threads under ThreadSanitizer =="
cmake -S . -B build-tsan -G Ninja -DQV_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j "$jobs" --target test_engine
TSAN_OPTIONS=halt_on_error=1 build-tsan/test_engine \
    --gtest_filter='PackageList.*:RunPlanProperty.TheListChecksExactlyWhatTheRunDoes:RunLogShared.*'
echo "All tests passed."
./scripts/test-ratio.sh
