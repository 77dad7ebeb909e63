#!/bin/sh
# Runs the tests of one build folder (extra arguments go to ctest). When some fail, it runs the
# failed ones once more, to tell a flaky check from a steady one, and ends with what the failed
# checks printed: a CI log is read from its end. The result is the first run's.
set -u
build=$1
shift
ctest --test-dir "$build" --output-on-failure "$@" && exit 0

log="$build/Testing/Temporary/LastTest.log"
cp "$log" "$log.first" 2>/dev/null
echo "==== the failed tests once more ===="
if ctest --test-dir "$build" --rerun-failed; then
    echo "==== they passed the second time: a flaky check, still a failure ===="
fi
echo "==== what the failed checks printed the first time ===="
grep -E -A8 ': Failure$|^\[  FAILED  \]|ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|runtime error:|Exception: ' \
    "$log.first" | grep -v -E '^\[ +(RUN|OK) +\]' | head -n 120
exit 1
