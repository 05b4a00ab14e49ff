#!/usr/bin/env bash
# The speed benchmark: TolVane against Wine's own regsvr32 and two baselines, over the same N
# distinct copies of a trivial component, in one Wine prefix. The baselines: the floor (OLE
# initialised, each component loaded with its folder searched first: what a careful tool must do)
# and the bare loop (load, call, unload, nothing else).
#
#   bash scripts/bench.sh [N] [ROUNDS]     (defaults: 500 components, 11 rounds)
#   BENCH_BASELINE=path/to/tolvane.exe      also times another build of the program (an earlier
#                                           one, say), paired with this one
#
# It first checks that each program calls N entry points. Then, after a warm-up round, each round
# runs every program once, back to back in an order that rotates from round to round (wall time
# from process start to exit, taken inside the prefix by the UI driver): TolVane /S, TolVane /S
# with a log (/L), regsvr32 /s, the floor and the bare loop, on N components and on a few. It
# judges by paired ratios: each ratio is taken within a round, where the programs ran under the
# same load, and the median over the rounds is printed. It also times the results dialog from
# process start until it shows N rows, and 2 rows, painted (rows of components that do not
# exist, so that the time is the dialog's). Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-500}
ROUNDS=${2:-11}
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
cp "$bin/$program" "$bin/bare_loop.exe" "$bin/floor_loop.exe" "$dir/"
baseline=${BENCH_BASELINE:-}
[ -z "$baseline" ] || cp "$baseline" "$dir/tolvane_baseline.exe"
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
regsvr32="C:\\windows\\system32\\regsvr32.exe"
driver="$bin/uidriver.exe"
log="$dir/run.log"

# The command line of each program, without its components.
programs=(tolvane tolvane_log tolvane_t regsvr32 floor bare)
[ -z "$baseline" ] || programs+=(baseline)
command_of() {
    case $1 in
        tolvane) command=("$tolvane" /S) ;;
        tolvane_log) command=("$tolvane" /S '/L:C:\tvbench\run.log') ;;
        tolvane_t) command=("$tolvane" /S /T:600) ;;
        baseline) command=("C:\\tvbench\\tolvane_baseline.exe" /S) ;;
        regsvr32) command=("$regsvr32" /s) ;;
        floor) command=("C:\\tvbench\\floor_loop.exe") ;;
        bare) command=("C:\\tvbench\\bare_loop.exe") ;;
    esac
}

# Each program must really call every entry point: the component logs each call when asked to.
for name in "${programs[@]}"; do
    command_of "$name"
    rm -f "$dir/calls.log" "$log"
    TOLVANE_TEST_LOG='C:\tvbench\calls.log' run "$driver" time "${command[@]}" "${files[@]}" >/dev/null
    calls=$(grep -c '^register|' "$dir/calls.log" 2>/dev/null || true)
    if [ "$calls" != "$N" ]; then
        echo "bench: $name called $calls entry points, not $N" >&2
        exit 1
    fi
    lines=$(grep -vc '^#' "$log" 2>/dev/null || true)
    if [ "$name" = tolvane_log ] && [ "$lines" != "$N" ]; then
        echo "bench: the log has $lines lines, not $N" >&2
        exit 1
    fi
done
echo "checked: each program calls $N entry points, and the log has a line for each"

# "<round> <label> <ms>" lines.
samples=$(mktemp)
time_run() {
    local round=$1 label=$2
    shift 2
    local ms
    ms=$(run "$driver" "$@" | awk '{print $1}')
    echo "$round $label $ms" >>"$samples"
}
one_round() {
    local round=$1
    local count=${#programs[@]}
    # The programs take turns at going first.
    for k in $(seq 0 $((count - 1))); do
        local name=${programs[$(((round + k) % count))]}
        command_of "$name"
        rm -f "$log"
        time_run "$round" "$name.$N" time "${command[@]}" "${files[@]}"
        rm -f "$log"
        time_run "$round" "$name.$SMALL" time "${command[@]}" "${small[@]}"
    done
    time_run "$round" "dialog.$N" time-results "$N" "$tolvane" "${missing[@]}"
    time_run "$round" "dialog.2" time-results 2 "$tolvane" "${missing[@]:0:2}"
}
one_round 0
: >"$samples" # the warm-up round is not counted
for r in $(seq 1 "$ROUNDS"); do one_round "$r"; done

median() { sort -n | awk '{a[NR]=$1} END {if (NR % 2) print a[(NR+1)/2]; else printf "%.2f\n", (a[NR/2]+a[NR/2+1])/2}'; }
median_of() { awk -v l="$1" '$2 == l {print $3}' "$samples" | median; }
# The median over the rounds of the ratio a/b within each round.
paired() {
    awk -v a="$1" -v b="$2" '$2 == a {x[$1] = $3} $2 == b {y[$1] = $3}
        END {for (r in x) if (r in y && y[r] > 0) printf "%.4f\n", x[r] / y[r]}' "$samples" | median |
        awk '{printf "%.3f\n", $1}'
}
echo
echo "machine: $(nproc) cores, $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $("$wine" --version); $program"
echo "median of $ROUNDS rounds, milliseconds from process start to exit:"
printf "%-26s %10s %10s %14s\n" program "$N" "$SMALL" "per component"
for name in "${programs[@]}"; do
    big=$(median_of "$name.$N")
    little=$(median_of "$name.$SMALL")
    per=$(awk -v b="$big" -v l="$little" -v n="$N" -v s="$SMALL" 'BEGIN {printf "%.3f", (b - l) / (n - s)}')
    printf "%-26s %10s %10s %14s\n" "$name" "$big" "$little" "$per"
done
echo
echo "paired ratios, $N components, median over $ROUNDS rounds:"
printf "  %-28s %s\n" "tolvane/regsvr32" "$(paired "tolvane.$N" "regsvr32.$N")" \
    "tolvane/floor" "$(paired "tolvane.$N" "floor.$N")" \
    "tolvane/bare" "$(paired "tolvane.$N" "bare.$N")" \
    "floor/bare" "$(paired "floor.$N" "bare.$N")" \
    "tolvane /L over without" "$(paired "tolvane_log.$N" "tolvane.$N")" \
    "tolvane /T over without" "$(paired "tolvane_t.$N" "tolvane.$N")" \
    "tolvane /T over without, $SMALL" "$(paired "tolvane_t.$SMALL" "tolvane.$SMALL")" \
    "tolvane/floor, $SMALL components" "$(paired "tolvane.$SMALL" "floor.$SMALL")"
if [ -n "$baseline" ]; then
    printf "  %-28s %s\n" "tolvane/baseline" "$(paired "tolvane.$N" "baseline.$N")" \
        "tolvane/baseline, $SMALL" "$(paired "tolvane.$SMALL" "baseline.$SMALL")"
fi
d=$(median_of "dialog.$N")
d2=$(median_of "dialog.2")
echo
echo "results dialog, from process start until shown and painted: $N rows $d ms, 2 rows $d2 ms," \
    "paired ratio $(paired "dialog.$N" dialog.2)"
rm -f "$samples"
