# Sourced by the scripts that run the program: sets up what the build needs and builds the
# Windows preset that this machine can run under Wine. Sets preset, wine, program and bin.
# A kernel without 32-bit support cannot run 32-bit Wine: the 64-bit build of the same sources
# (tolvane64.exe) runs instead. The Wine loader is the build's TOLVANE_WINE.
bash scripts/setup.sh >&2
# The Wine loader of a configured preset's build.
wine_loader() { sed -n 's/^TOLVANE_WINE:[A-Z]*=//p' "build/$1/CMakeCache.txt"; }
preset=windows
program=tolvane.exe
cmake --preset "$preset" >/dev/null
wine=$(wine_loader "$preset")
if ! "$wine" --version >/dev/null 2>&1; then
    preset=windows-x64
    program=tolvane64.exe
    cmake --preset "$preset" >/dev/null
    wine=$(wine_loader "$preset")
fi
cmake --build --preset "$preset" >/dev/null
bin=$PWD/build/$preset/bin
