#!/bin/sh
# Fails when .clang-format would change a C or C++ file of the tree, and names the files;
# `scripts/check-format.sh --fix` formats them instead.
set -eu
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null ||
    { echo "check-format: clang-format is missing (package clang-format)" >&2; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    list() { git ls-files -- '*.c' '*.cpp' '*.h' '*.inc'; }
else
    list() { find cli core platform tests tools bench fuzz -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.inc'; }
fi
if [ "${1:-}" = --fix ]; then
    list | xargs clang-format -i
    exit 0
fi
bad=$(list | xargs clang-format --dry-run --Werror 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' |
    sort -u)
if [ -n "$bad" ]; then
    echo "check-format: clang-format would change these files (scripts/check-format.sh --fix):"
    echo "$bad"
    exit 1
fi
echo "check-format: $(list | wc -l) files as .clang-format has them"
