#!/bin/sh
# make check: every build and every test run of the Makefile, the independent ones side by side.
# Three lanes start together and share the cores:
#   native:  make check-format, make native, make check-native, make check-tsan
#   windows: make windows, then make check-windows beside make package and make check-package
#   asan:    make asan,    make check-asan, make check-fuzz
# Each step's output goes to $BUILD/check-logs/<step>.log; a line tells when a step ends. At the
# end come the time of every step and, for each failed one, what it printed about the failure (a
# test step's account from run-tests.sh, a build's first failed command). A step whose build
# failed is skipped. The packages are installed before (make check does it), so the steps install nothing.
set -u
make=${MAKE:-make}
build=${BUILD:-build}
logs=$build/check-logs
rm -rf "$logs"
mkdir -p "$logs"
t0=$(date +%s)

now() { echo $(($(date +%s) - t0)); }

# The line of a log worth showing when its step ends.
outcome() {
    case $1 in
    *-tests) grep -E '^[0-9]+% tests passed' "$logs/$1.log" | head -n 1 ;;
    fuzz) echo "$(grep -c ', no findings$' "$logs/$1.log") of $(grep -c ' executions, ' "$logs/$1.log") targets without findings" ;;
    *) tail -n 1 "$logs/$1.log" ;;
    esac
}

# step NAME COMMAND...: runs the command with its output in the step's log; true when it passed.
step() {
    name=$1
    shift
    start=$(now)
    if "$@" >"$logs/$name.log" 2>&1; then
        status=passed
    else
        status=FAILED
    fi
    end=$(now)
    echo "$name $status $start $end" >"$logs/$name.result"
    echo "[$end s] $name $status after $((end - start)) s: $(outcome "$name")"
    [ "$status" = passed ]
}

skip() {
    for name in "$@"; do
        echo "$name skipped - -" >"$logs/$name.result"
        echo "[$(now) s] $name skipped"
    done
}

run_make() {
    $make --no-print-directory INSTALL_DEPS=: "$@"
}

lane_native() {
    step format run_make check-format
    if step native-build run_make native; then
        step native-tests run_make -o native check-native
    else
        skip native-tests
    fi
    step tsan run_make check-tsan
}

lane_windows() {
    step windows-build run_make windows || { skip windows-tests package package-test; return; }
    step windows-tests run_make -o windows check-windows &
    if step package run_make package; then
        step package-test run_make -o package check-package
    else
        skip package-test
    fi
    wait
}

lane_asan() {
    step asan-build run_make asan || { skip asan-tests fuzz; return; }
    step asan-tests run_make -o asan check-asan
    step fuzz run_make -o asan check-fuzz
}

echo "make check: three lanes side by side; the logs are in $logs/"
lane_native &
lane_windows &
lane_asan &
wait

steps="format native-build native-tests tsan windows-build windows-tests package package-test asan-build
asan-tests fuzz"
echo
echo "==== make check: the steps (seconds from the start; the lanes overlap)"
printf '%-14s %-8s %6s %6s %6s\n' step result start end took
passed=0
failed=0
for name in $steps; do
    if [ -f "$logs/$name.result" ]; then
        read -r _ status start end <"$logs/$name.result"
    else
        status=missing start=- end=-
    fi
    took=-
    [ "$start" = - ] || took=$((end - start))
    printf '%-14s %-8s %6s %6s %6s\n' "$name" "$status" "$start" "$end" "$took"
    if [ "$status" = passed ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
echo "total: $(now) s"

# What a failed step printed: a test run's own account of its failures (run-tests.sh), or the
# first build command that failed and what followed it, or else the end of the log.
show_failure() {
    log=$logs/$1.log
    if grep -q '^==== the failed tests once more ====' "$log"; then
        echo "==== $1 failed; from $log:"
        sed -n '/^==== the failed tests once more ====/,$p' "$log" | head -n 200
    elif grep -q '^FAILED: ' "$log"; then
        echo "==== $1 failed; from $log:"
        sed -n '/^FAILED: /,$p' "$log" | head -n 100
    else
        echo "==== $1 failed; the end of $log:"
        tail -n 80 "$log"
    fi
}

for name in $steps; do
    grep -q "^$name FAILED" "$logs/$name.result" 2>/dev/null || continue
    echo
    show_failure "$name"
done
echo
echo "steps: $passed passed, $failed failed"
[ "$failed" = 0 ]
