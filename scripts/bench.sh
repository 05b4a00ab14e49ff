#!/usr/bin/env bash
# The speed benchmark: TolVane against Wine's own regsvr32 and a bare load-call-unload loop,
# over the same N distinct copies of a trivial component, in one Wine prefix.
#
#   bash scripts/bench.sh [N] [REPS]     (defaults: 500 components, 6 runs of each)
#
# It first checks that each program calls N entry points, then, after a warm-up, times each
# program REPS times in rotated order (wall time from process start to exit, taken inside the
# prefix by the UI driver), and the time until the results dialog of N rows and of 2 rows is
# shown and painted (rows of components that do not exist, so that the time is the dialog's). It
# prints the medians, the cost per component and the ratios.
# Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-500}
REPS=${2:-6}
SMALL=10

# shellcheck source=scripts/build-runnable.sh
source scripts/build-runnable.sh
state=$PWD/build/$preset/speed-bench
bash tests/e2e/wine_session.sh start "$state" "$wine" >/dev/null
trap 'bash tests/e2e/wine_session.sh stop "$state"' EXIT
# shellcheck disable=SC1091
source "$state/env"
run() { bash tests/e2e/wine_session.sh run "$state" "$@" </dev/null | tr -d '\r'; }

# The components and the programs, in one folder of the prefix's C: drive.
dir=$WINEPREFIX/drive_c/tvbench
rm -rf "$dir"
mkdir -p "$dir"
cp "$bin/$program" "$bin/bare_loop.exe" "$dir/"
files=()
for i in $(seq -w 1 "$N"); do
    cp "$bin/ok.dll" "$dir/f$i.dll"
    files+=("C:\\tvbench\\f$i.dll")
done
small=("${files[@]:0:$SMALL}")
# Rows for the results dialog: names of components that do not exist, so that the batch costs
# next to nothing and the time is the dialog's. They are in a folder of their own: Wine looks for
# a name it does not find through the whole folder, which would cost more than the dialog.
mkdir -p "$dir/none"
missing=()
for i in $(seq -w 1 "$N"); do missing+=("C:\\tvbench\\none\\m$i.dll"); done
tolvane="C:\\tvbench\\$program"
bare="C:\\tvbench\\bare_loop.exe"
regsvr32="C:\\windows\\system32\\regsvr32.exe"
driver="$bin/uidriver.exe"

# Each program must really call every entry point: the component logs each call when asked to.
for name in tolvane regsvr32 bare; do
    case $name in
        tolvane) command=("$tolvane" /S) ;;
        regsvr32) command=("$regsvr32" /s) ;;
        bare) command=("$bare") ;;
    esac
    rm -f "$dir/calls.log"
    TOLVANE_TEST_LOG='C:\tvbench\calls.log' run "$driver" time "${command[@]}" "${files[@]}" >/dev/null
    calls=$(grep -c '^register|' "$dir/calls.log" 2>/dev/null || true)
    if [ "$calls" != "$N" ]; then
        echo "bench: $name called $calls entry points, not $N" >&2
        exit 1
    fi
done
echo "checked: each program calls $N entry points"

# One figure: "time <label> <ms>" lines go to the samples file.
samples=$(mktemp)
time_run() {
    local label=$1
    shift
    local ms
    ms=$(run "$driver" "$@" | awk '{print $1}')
    echo "$label $ms" >>"$samples"
}
one_round() {
    local first=$1
    local order=(tolvane regsvr32 bare)
    # The programs take turns at going first.
    for k in 0 1 2; do
        case ${order[$(((first + k) % 3))]} in
            tolvane) time_run "tolvane.$N" time "$tolvane" /S "${files[@]}"
                     time_run "tolvane.$SMALL" time "$tolvane" /S "${small[@]}" ;;
            regsvr32) time_run "regsvr32.$N" time "$regsvr32" /s "${files[@]}"
                      time_run "regsvr32.$SMALL" time "$regsvr32" /s "${small[@]}" ;;
            bare) time_run "bare.$N" time "$bare" "${files[@]}"
                  time_run "bare.$SMALL" time "$bare" "${small[@]}" ;;
        esac
    done
    time_run "dialog.$N" time-results "$N" "$tolvane" "${missing[@]}"
    time_run "dialog.2" time-results 2 "$tolvane" "${missing[@]:0:2}"
}
one_round 0
: >"$samples" # the warm-up round is not counted
for r in $(seq 1 "$REPS"); do one_round "$r"; done

median() { grep "^$1 " "$samples" | awk '{print $2}' | sort -n | awk '{a[NR]=$1} END {if (NR % 2) print a[(NR+1)/2]; else printf "%.2f\n", (a[NR/2]+a[NR/2+1])/2}'; }
echo
echo "machine: $(nproc) cores, $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $("$wine" --version); $program"
echo "median of $REPS runs, milliseconds from process start to exit:"
printf "%-26s %10s %10s %14s\n" program "$N" "$SMALL" "per component"
for name in tolvane regsvr32 bare; do
    big=$(median "$name.$N")
    little=$(median "$name.$SMALL")
    per=$(awk -v b="$big" -v l="$little" -v n="$N" -v s="$SMALL" 'BEGIN {printf "%.3f", (b - l) / (n - s)}')
    printf "%-26s %10s %10s %14s\n" "$name" "$big" "$little" "$per"
done
t=$(median "tolvane.$N")
g=$(median "regsvr32.$N")
b=$(median "bare.$N")
echo
awk -v t="$t" -v g="$g" -v b="$b" 'BEGIN {printf "tolvane/regsvr32 = %.3f   tolvane/bare = %.3f\n", t / g, t / b}'
d=$(median "dialog.$N")
d2=$(median "dialog.2")
awk -v d="$d" -v d2="$d2" -v n="$N" 'BEGIN {printf "results dialog, from process start until shown and painted: %s rows %.1f ms, 2 rows %.1f ms, ratio %.3f\n", n, d, d2, d / d2}'
rm -f "$samples"
