#!/usr/bin/env bash
# Sets up what the build needs, builds everything and runs every test:
#   1. the window-free logic's unit tests, natively under AddressSanitizer and UBSan;
#   2. the 64-bit build (tolvane64.exe): its import check, unit tests and end-to-end tests under
#      64-bit Wine;
#   3. the 32-bit build (tolvane.exe): its import and size check and, where this machine can run
#      32-bit Wine, its unit tests and end-to-end tests, and the real hand-off between the two
#      programs in both directions in a WoW64 prefix (e2e.RealHandOff, given the 64-bit build's
#      tolvane64.exe); where it cannot (a kernel without 32-bit support), one line says what was
#      not run;
#   4. the release package.
# Exits non-zero when anything fails; ends with each test run's closing lines.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

started=$(date +%s)
status=0
summaries=()
mkdir -p build

# ctest for a test preset, its output kept; its closing lines are repeated at the end.
run_tests() {
    local preset=$1 log=build/ctest-$1.log
    local result=0
    ctest --preset "$preset" 2>&1 | tee "$log" || result=$?
    [ "$result" -eq 0 ] || status=1
    summaries+=("== $preset: ctest exit status $result")
    local closing
    closing=$(sed -n '/tests passed\|tests failed\|The following tests\|^[[:space:]]*[0-9]* - \|Total Test time\|No tests were found\|Errors while running CTest/p' "$log")
    summaries+=("${closing:-(ctest printed no result: see $log)}")
}

# configure and build a preset; false when either fails.
build() {
    local preset=$1
    shift
    cmake --preset "$preset" "$@" && cmake --build --preset "$preset"
}

if cmake --preset native && cmake --build --preset native; then
    run_tests native
else
    status=1
    summaries+=("== native: the build failed")
fi

# The 64-bit build comes first: the 32-bit build's hand-off test runs its tolvane64.exe.
if build windows-x64; then
    run_tests windows-x64
else
    status=1
    summaries+=("== windows-x64: the build failed")
fi

if build windows -DTOLVANE_TWIN_PROGRAM="$PWD/build/windows-x64/bin/tolvane64.exe"; then
    # The Wine loader is the windows build's TOLVANE_WINE; without it the build registers no Wine tests.
    wine32=$(sed -n 's/^TOLVANE_WINE:[A-Z]*=//p' build/windows/CMakeCache.txt)
    if ! "$wine32" --version >/dev/null 2>&1; then
        summaries+=("test: not run: the Wine tests of the 32-bit tolvane.exe and the real hand-off between tolvane.exe and tolvane64.exe, because this machine cannot run 32-bit Wine ($wine32 does not start); the Wine tests ran on the 64-bit build")
        echo "${summaries[-1]}"
    fi
    run_tests windows
else
    status=1
    summaries+=("== windows: the build failed")
fi

# The release package builds as the README says.
if ! cmake --workflow --preset release >/dev/null; then
    status=1
    summaries+=("test: the release package does not build")
fi

echo
echo "==== test summary ($(($(date +%s) - started)) s)"
printf '%s\n' "${summaries[@]}"
[ "$status" -eq 0 ] && echo "test: everything passed" || echo "test: FAILED"
exit $status
