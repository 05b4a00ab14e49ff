#!/usr/bin/env bash
# Installs what building and testing TolVane needs on Debian: the mingw-w64 i686
# cross compilers and tools, Wine with its 32-bit part, and a virtual X display.
# Idempotent: when everything is present it returns at once.
set -euo pipefail

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-i686 mingw-w64-tools)
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64)
# widl builds the test type libraries.
command -v x86_64-w64-mingw32-widl >/dev/null 2>&1 || need+=(mingw-w64-tools)
command -v i686-w64-mingw32-windres >/dev/null 2>&1 || need+=(binutils-mingw-w64-i686)
[ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v Xvfb >/dev/null 2>&1 || need+=(xvfb xauth)
# ImageMagick's import takes the screenshots; some machines ship a stand-in 'convert' only.
command -v import >/dev/null 2>&1 || need+=(imagemagick)
command -v cmake >/dev/null 2>&1 || need+=(cmake)
[ -d /usr/src/googletest ] || need+=(googletest)
dpkg -s libgtest-dev >/dev/null 2>&1 || need+=(libgtest-dev)

if [ ${#need[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi

echo "setup: installing ${need[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync can fail one index (seen: the security index for i386) while the rest
# is current: that is no reason to stop, the install below says whether what we need is there.
$SUDO apt-get update -qq || echo "setup: some package indexes could not be read; going on with the rest"
if ! $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null; then
    # Without one architecture's security index, the 32-bit libraries cannot match the versions of
    # their 64-bit twins: taking both from the release itself makes them match.
    release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -z "$release" ] || ! $SUDO apt-get install -y -qq --no-install-recommends -t "$release" "${need[@]}" >/dev/null; then
        # The 32-bit part of Wine is the one that may be out of reach: without it the tests run on
        # the 64-bit build (scripts/test.sh says so).
        rest=()
        for package in "${need[@]}"; do [ "$package" = wine32:i386 ] || rest+=("$package"); done
        $SUDO apt-get install -y -qq --no-install-recommends "${rest[@]}" >/dev/null
        echo "setup: wine32:i386 could not be installed; only 64-bit Windows programs will run"
    fi
fi
echo "setup: done"
