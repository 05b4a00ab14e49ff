#!/usr/bin/env bash
# Builds TolVane and runs it on the bundled sample component, a small in-process COM server:
# first registering it, then unregistering it. The messages appear on your X display when you
# have one (close them to go on); otherwise on a virtual display, where they are answered for
# you. Either way their texts are printed, and a screenshot of each is saved.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=scripts/build-runnable.sh
source scripts/build-runnable.sh
build=$PWD/build/$preset
out=$PWD/build/samples
mkdir -p "$out"

mode=close
if [ -n "${DISPLAY:-}" ] && [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
    mode=wait
    export WINE_SESSION_USE_DISPLAY=1
    echo "Showing TolVane on your display $DISPLAY: press OK in each message to go on."
else
    echo "No X display: TolVane runs on a virtual display, and its messages are answered for you."
fi

state=$build/samples-wine
bash tests/e2e/wine_session.sh start "$state" "$wine" >/dev/null
trap 'bash tests/e2e/wine_session.sh stop "$state"' EXIT

cp "$bin/sample_server.dll" "$out/sample_server.dll"
component="$out/sample_server.dll"
winpath="Z:${component//\//\\}"
for step in register unregister; do
    echo
    if [ "$step" = register ]; then
        echo "== $program $winpath"
        bash tests/e2e/wine_session.sh run "$state" "$bin/uidriver.exe" report "Z:${out//\//\\}\\$step.bmp" "$mode" \
            "$bin/$program" "$winpath" | tr -d '\r'
    else
        echo "== $program /U $winpath"
        bash tests/e2e/wine_session.sh run "$state" "$bin/uidriver.exe" report "Z:${out//\//\\}\\$step.bmp" "$mode" \
            "$bin/$program" /U "$winpath" | tr -d '\r'
    fi
    if [ -f "$out/$step.bmp" ] && convert "$out/$step.bmp" "$out/$step.png" 2>/dev/null; then
        rm -f "$out/$step.bmp"
        echo "(screenshot: $out/$step.png)"
    elif [ -f "$out/$step.bmp" ]; then
        echo "(screenshot: $out/$step.bmp)"
    fi
done
