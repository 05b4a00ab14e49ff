# Sourced by the scripts that run the program: sets up what the build needs and builds the
# Windows preset that this machine can run under Wine. Sets preset, wine, program and bin.
# A kernel without 32-bit support cannot run 32-bit Wine: the 64-bit build of the same sources
# (tolvane64.exe) runs instead.
bash scripts/setup.sh >&2
preset=windows
wine=/usr/lib/wine/wine
program=tolvane.exe
if ! "$wine" --version >/dev/null 2>&1; then
    preset=windows-x64
    wine=/usr/lib/wine/wine64
    program=tolvane64.exe
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
bin=$PWD/build/$preset/bin
