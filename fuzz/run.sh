#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer),
# writes their seeds, replays the seeds and the regression inputs, then fuzzes each target.
#
#   fuzz/run.sh <build folder> --seconds N [target...]   N seconds per target (make fuzz)
#   fuzz/run.sh <build folder> --runs N [target...]      N inputs per target (make fuzz-long)
#
# The corpus grows in <build>/fuzz-corpus/<target> from run to run; whatever fails is kept in
# <build>/fuzz-findings/ and the run ends with status 1. A finding worth keeping goes into
# fuzz/regressions/<target>/<name of the fault>/ (as .hex text, see standalone_main.cpp), where
# every test run replays it.
#
# The long run takes hours on two cores; to keep it out of the way of other work:
#   nohup nice -n 19 make fuzz-long > fuzz-long.log 2>&1 &
# FUZZ_MAX_SECONDS caps each target's share of a long run (0: no cap); FUZZ_JOBS targets run at
# a time (default 1).
# Each target prints "<target>: <executions> executions, <findings>" when it ends.
set -eu

build=${1:?build folder}
shift
mode=${1:?--seconds or --runs}
amount=${2:?how many}
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)

targets=${*:-$(sed -n '/^set(KARV_FUZZ_TARGETS$/,/)/p' "$source_dir/fuzz/CMakeLists.txt" |
    sed -e '1d' -e 's/)//' -e 's/^ *//' | grep -v '^$')}

# A new folder gets the library, the program and the fuzz targets only; an existing one (the
# sanitizer build of make check) keeps its tests.
tests=""
[ -f "$build/CMakeCache.txt" ] || tests="-DKARV_TESTS=OFF"
# shellcheck disable=SC2086
CC=${FUZZ_CC:-clang} CXX=${FUZZ_CXX:-clang++} cmake -S "$source_dir" -B "$build" -G Ninja \
    -DKARV_FUZZ=ON -DKARV_SANITIZE=ON $tests >/dev/null
programs="make_seeds"
for t in $targets; do
    programs="$programs ${t}_fuzzer ${t}_replay"
done
# shellcheck disable=SC2086
cmake --build "$build" -j "${JOBS:-2}" --target $programs

seeds="$build/fuzz-seeds"
"$build/bin/make_seeds" "$seeds"

# Files the targets read go to memory when it can hold them.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    TMPDIR=/dev/shm
    export TMPDIR
fi

failed=0
for t in $targets; do
    inputs="$seeds/$t"
    [ -d "$source_dir/fuzz/regressions/$t" ] && inputs="$inputs $source_dir/fuzz/regressions/$t"
    # shellcheck disable=SC2086
    if ! "$build/bin/${t}_replay" $inputs >/dev/null; then
        echo "$t: a seed or regression input fails"
        failed=1
    fi
done
[ "$failed" = 0 ] || exit 1

case "$mode" in
--seconds) limit="-max_total_time=$amount" ;;
--runs) limit="-runs=$amount -max_total_time=${FUZZ_MAX_SECONDS:-0}" ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

mkdir -p "$build/fuzz-findings" "$build/fuzz-logs" "$build/fuzz-results"

# Fuzzes one target; its line goes to fuzz-results/<target>, the log to fuzz-logs/<target>.log.
fuzz_target() {
    t=$1
    corpus="$build/fuzz-corpus/$t"
    log="$build/fuzz-logs/$t.log"
    result="$build/fuzz-results/$t"
    mkdir -p "$corpus"
    status=0
    # shellcheck disable=SC2086
    "$build/bin/${t}_fuzzer" $limit -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-findings/$t-" "$corpus" "$seeds/$t" >"$log" 2>&1 ||
        status=$?
    # The final count, or the last one reported on the way when the run was cut short.
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
    if [ "$status" = 0 ]; then
        echo "$t: ${runs:-?} executions, no findings" >"$result"
    else
        {
            echo "$t: ${runs:-?} executions, FAILED (status $status); the end of $log:"
            tail -n 40 "$log"
        } >"$result"
    fi
}

# FUZZ_JOBS targets at a time (default 1): the targets are dealt out to that many lanes, each
# running its share one after another. The lines come out in the targets' order at the end.
lanes=${FUZZ_JOBS:-1}
rm -f "$build"/fuzz-results/*
lane=0
while [ "$lane" -lt "$lanes" ]; do
    (
        i=0
        for t in $targets; do
            [ $((i % lanes)) = "$lane" ] && fuzz_target "$t"
            i=$((i + 1))
        done
    ) &
    lane=$((lane + 1))
done
wait
for t in $targets; do
    if [ -f "$build/fuzz-results/$t" ]; then
        cat "$build/fuzz-results/$t"
        grep -q "^$t: .* no findings$" "$build/fuzz-results/$t" || failed=1
    else
        echo "$t: no result"
        failed=1
    fi
done
exit "$failed"
