#!/usr/bin/env bash
# Sets up what the build needs, builds everything and runs every test:
#   1. the window-free logic's unit tests, natively under AddressSanitizer and UBSan;
#   2. the 32-bit Windows build of tolvane.exe, its import and size check, and, where this machine
#      can run 32-bit Wine, the unit tests and end-to-end tests under Wine; the release package;
#   3. where it cannot (a kernel without 32-bit support), the same tests on a 64-bit build
#      of the same sources under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

status=0
cmake --workflow --preset native || status=1
cmake --workflow --preset windows || status=1
# The release package builds as the README says.
cmake --workflow --preset release >/dev/null || { echo "test: the release package does not build"; status=1; }
# The Wine loader is the windows build's TOLVANE_WINE.
if ! "$(sed -n 's/^TOLVANE_WINE:[A-Z]*=//p' build/windows/CMakeCache.txt)" --version >/dev/null 2>&1; then
    echo "test: this machine cannot run 32-bit Wine; the Wine tests run on the 64-bit build"
    cmake --workflow --preset windows-x64 || status=1
fi
exit $status
