#!/bin/sh
# Benchmark of the mod codes on a generated game of about 1 GiB: a hundred members spread over
# the game (raw and compressed alike) are exported, edited in place (a few bytes overwritten,
# the sizes kept) and then brought into the game two ways, in turns: by IMPORT, and as a mod
# (MODMAKE packs the edited files, the import folder is emptied, MODADD applies the mod, MODS and
# MODS --json show it, MODDEL takes it off). Every turn starts from a restored game and ends with
# a RESTORE; the best and the median turn of each code count. At the end the restore must have
# given back the original archive and index byte for byte.
#
#   scripts/bench-mods.sh <bin folder of a Release build with KARV_BENCH=ON>
#
# Environment:
#   KARV_BENCH_MIB         size of the game in MiB (default 1024)
#   KARV_BENCH_TYPE        357, Z54 or 358 (default 357)
#   KARV_BENCH_RUNS        turns (default 3)
#   KARV_BENCH_MEMBERS     members edited (default 100)
#   KARV_BENCH_THREADS     the library's worker count (default 0: the hardware's)
#   KARV_BENCH_DIR         where the work folder bench-mods.XXXXXX is made (default build)
#   KARV_BENCH_KEEP        1 keeps the work folder (default: removed at the end)
#
# The runs come as they come: what is dirty is written back before each, and nothing is done
# about the host taking freed memory back (see bench-e2e.sh's page regimes). These runs write a
# few tens of MiB at most, so that cost stays small; the game's files are in memory for every run
# alike, as each turn reads them. The two ways alternate which goes first in a turn.
#
# Goals: MODADD in at most 1.2 x IMPORT's time (the same files, plus the check of every pin
# against the original the backup saved); MODS, MODS --json and MODDEL in under 0.2 s each.
# IMPORT flushes nothing, MODADD flushes what it appends before anything points at it: the
# row "IMPORT+flush" (the import, then its archive file flushed) shows what that costs here.
# The cold rows take the same IMPORT and MODADD with the game's files and those brought in put
# out of the system's cache first, as a player's game of many GiB lies on the disk: MODADD then
# reads the originals from there, which IMPORT never reads.
# Peak memory is the maximum resident set from /usr/bin/time -v, pages the minor page faults of
# the best turn: the pages a run touched first, which on this kind of virtual machine cost about
# as much as the work done in them (see bench-e2e.sh), and which do not vary with the machine's
# load as the times do.
set -eu
. "$(dirname "$0")/bench-lib.sh"
bin=$(cd "$1" && pwd)
mib=${KARV_BENCH_MIB:-1024}
type=${KARV_BENCH_TYPE:-357}
runs=${KARV_BENCH_RUNS:-3}
count=${KARV_BENCH_MEMBERS:-100}
threads=${KARV_BENCH_THREADS:-0}
parent=${KARV_BENCH_DIR:-build}
export LC_ALL=C.UTF-8

bench_game "$type" || { echo "bench-mods: KARV_BENCH_TYPE must be 357, Z54 or 358" >&2; exit 1; }
for tool in /usr/bin/time jq; do
    command -v "$tool" > /dev/null || { echo "bench-mods: $tool is missing" >&2; exit 1; }
done
# The game, what the imports and mods append to it before each restore, the edited members
# three times (set aside, in the import folder, in the mod) and room to spare.
need=$((mib * 3 * 1024 + 1024 * 1024))
enter_work_folder bench-mods

fail() {
    echo "bench-mods: $*" >&2
    tail -5 run.log >&2
    exit 1
}

# The game's files and those to bring in, out of the system's cache (GNU dd's nocache), as a
# player's game of many GiB lies on the disk when a mod goes in: the cold rows.
drop_from_cache() {
    find "$game" mods -type f -exec dd iflag=nocache count=0 status=none if={} \; 2> /dev/null
}

# Runs karvex with the arguments after the data mode and requires the exit code; $elapsed,
# $peak and $faults as timed sets them. With cold=1 the files come from the disk.
cold=0
karvex() { # exit-code arguments...
    want=$1
    shift
    sync
    [ "$cold" = 0 ] || drop_from_cache
    got=0
    timed "" "$bin/karvex_threads" "$threads" PC "$@" || got=$?
    [ "$got" = "$want" ] || fail "karvex PC $* ended with $got, not $want"
}

echo "== a game of about $mib MiB, type $type"
"$bin/karvsample" --size "$mib" --type "$type" . > generate.log
sed -n 2p generate.log
sha256sum "$archive" "$index" > original.sha256
karvex 0 BACKUP 1

# The members: $count of the used entries, every so many among the raw ones and among the
# compressed ones, in the proportion the game has them.
karvex 0 LIST 1 --json
jq -r '.entries[] | select(.storage != "unused") |
    "\(.entry) \(if .storage | test("^(357|Z54|358)$") then "compressed" else "raw" end)"' \
    run.log > used.txt
used=$(wc -l < used.txt)
[ "$used" -ge "$count" ] || fail "the game has $used used entries, fewer than $count"
awk -v n="$count" -v used="$used" '{ e[NR] = $1 } END {
    for (i = 0; i < n; i++) print e[int(i * used / n) + 1] }' used.txt > chosen.txt
raw=$(awk 'NR == FNR { c[$1] = 1; next } ($1 in c) && $2 == "raw"' chosen.txt used.txt | wc -l)

# Each exported and edited: 16 bytes overwritten at a third and at two thirds of the file.
while read -r entry; do
    karvex 0 EXPORT 1 --first "$entry" --last "$entry"
done < chosen.txt
edited=0
for file in "$exported"/*.data; do
    size=$(wc -c < "$file")
    for at in $((size / 3)) $((2 * size / 3)); do
        printf 'karvbench%07d' "$edited" | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
    done
    edited=$((edited + 1))
done
[ "$edited" = "$count" ] || fail "$edited files exported for $count entries"
edited_bytes=$(find "$exported" -maxdepth 1 -name '*.data' -printf '%s\n' | awk '{ s += $1 } END { print s }')
mkdir edits
cp "$exported"/*.data edits/
echo "   $count members edited ($raw raw), $((edited_bytes >> 20)) MiB"

# keep (bench-lib.sh), the faults of the best turn in faults_<name>, every turn's time in
# times_<name>.txt (for the median).
keep_run() { # name
    eval "b=\${best_$1:-0}"
    echo "$elapsed" >> "times_$1.txt"
    keep "$1"
    eval "[ \"\$best_$1\" = \"$b\" ] && [ -n \"\${faults_$1:-}\" ] || faults_$1=$faults"
}

put_edits() { rm -rf "$exported" && mkdir -p "$exported" && cp edits/*.data "$exported"/; }

restore() {
    karvex 0 RESTORE 1
    grep -q "恢复数据成功" run.log || fail "the restore failed"
}

import_way() {
    put_edits
    karvex 0 IMPORT 1
    [ "$(grep -c "成功！" run.log)" = "$count" ] || fail "the import did not import $count files"
    keep_run import
    line="$line import $elapsed s"
    restore
    # The same import with what it appended flushed, as MODADD flushes its data before the
    # intent: the durability the goal's IMPORT does without.
    put_edits
    sync
    got=0
    timed "" sh -c '"$1" "$2" PC IMPORT 1 && sync "$3"' sh "$bin/karvex_threads" "$threads" \
        "$archive" || got=$?
    [ "$got" = 0 ] || fail "IMPORT and its flush ended with $got"
    keep_run import_flushed
    line="$line flushed $elapsed s"
    restore
}

mod_way() { # turn
    put_edits
    mod=mods/bench$1
    rm -rf mods
    karvex 0 MODMAKE 1 "$mod"
    grep -q "共打包 $count 个文件" run.log || fail "MODMAKE did not pack $count files"
    keep_run modmake
    line="$line modmake $elapsed s"
    rm -rf "$exported"
    karvex 0 MODADD 1 "$mod"
    grep -q "共写入 $count 个文件" run.log || fail "MODADD did not write $count files"
    keep_run modadd
    line="$line modadd $elapsed s"
    karvex 0 MODS 1
    grep -q "bench$1" run.log || fail "MODS does not list the mod"
    keep_run mods
    line="$line mods $elapsed s"
    karvex 0 MODS 1 --json
    [ "$(jq -r '.files[0].mods[0].entries | length' run.log)" = "$count" ] ||
        fail "MODS --json does not give the mod's $count entries"
    keep_run mods_json
    line="$line --json $elapsed s"
    karvex 0 MODDEL 1 "bench$1"
    grep -q "共恢复 $count 项" run.log || fail "MODDEL did not put back $count entries"
    # A Z54 index is the archive's head, which the mod's data still follows.
    [ "$type" = Z54 ] || grep " $index\$" original.sha256 | sha256sum -c --quiet - ||
        fail "MODDEL did not give back the original index"
    keep_run moddel
    line="$line moddel $elapsed s"
    restore
}

# IMPORT and MODADD (of the turn's mod) with the files on the disk alone.
cold_ways() { # turn
    put_edits
    cold=1
    karvex 0 IMPORT 1
    keep_run import_cold
    line="$line cold: import $elapsed s"
    cold=0
    restore
    rm -rf "$exported"
    cold=1
    karvex 0 MODADD 1 "mods/bench$1"
    grep -q "共写入 $count 个文件" run.log || fail "MODADD did not write $count files"
    keep_run modadd_cold
    line="$line modadd $elapsed s"
    cold=0
    restore
}

for run in $(seq "$runs"); do
    line="turn $run:"
    if [ $((run % 2)) = 1 ]; then
        import_way
        mod_way "$run"
    else
        mod_way "$run"
        import_way
    fi
    cold_ways "$run"
    echo "   $line"
done
sha256sum -c --quiet original.sha256 ||
    { echo "bench-mods: the restore did not give back the original" >&2; exit 1; }

echo
echo "== $type, PC: $count members of $((edited_bytes >> 20)) MiB ($raw raw);" \
    "best and median of $runs turns"
printf '   %-14s %9s %9s %10s %7s %s\n' "" best median peak pages ""
# The median turn: on a shared machine the best turn of one contender may be a lucky one, and
# the ratio of the medians says what a run usually costs.
median() { # name
    sort -n "times_$1.txt" |
        awk '{ t[NR] = $1 } END { print (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2 }'
}
row() { # label name [note]
    eval "b=\$best_$2 p=\$peak_$2 f=\$faults_$2"
    printf '   %-14s %7.3f s %7.3f s %6d MiB %7d %s\n' "$1" "$b" "$(median "$2")" $((p / 1024)) \
        "$f" "${3:-}"
}
ratios() { # a b: the best and the median times of a over those of b
    awk -v a="$(eval "echo \$best_$1")" -v b="$(eval "echo \$best_$2")" -v ma="$(median "$1")" \
        -v mb="$(median "$2")" 'BEGIN { printf "%.2f x (median %.2f x)", a / b, ma / mb }'
}
row IMPORT import
row MODADD modadd "$(ratios modadd import) IMPORT (goal at most 1.2)"
row "IMPORT+flush" import_flushed \
    "MODADD is $(ratios modadd import_flushed) this (the same data made durable)"
row "IMPORT cold" import_cold
row "MODADD cold" modadd_cold "$(ratios modadd_cold import_cold) IMPORT cold"
row MODMAKE modmake
row MODS mods "(goal under 0.2 s)"
row "MODS --json" mods_json "(goal under 0.2 s)"
row MODDEL moddel "(goal under 0.2 s)"
[ "$type" = Z54 ] || echo "   MODDEL gave back the original index byte for byte"
echo "   the restore gave back the original archive and index byte for byte"
