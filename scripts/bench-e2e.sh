#!/bin/sh
# End-to-end benchmark of karvex on a generated game of about 1 GiB (thousands of members, raw
# and compressed): the menu export of every member and the menu import of every exported file,
# each against a minimal single-threaded loop doing the same reads, inflates or deflates and
# writes (bench/export_loop.cpp, bench/import_loop.cpp), with karvex on one thread and on the
# default count (karvex_threads sets the library's worker count). The contenders take turns, so
# a busy machine slows them alike; the best turn of each counts. At the end a restore must give
# back the original archive byte for byte.
#
#   scripts/bench-e2e.sh <bin folder of a Release build with KARV_BENCH=ON>
#
# Environment: KARV_BENCH_MIB (default 1024), KARV_BENCH_TYPE (357, Z54 or 358; default 357),
# KARV_BENCH_RUNS (turns; default 3; "C" of the large member, slow with zlib at level 9, takes
# KARV_BENCH_C_RUNS, default 1), KARV_BENCH_DIR (where the work folder bench-e2e.XXXXXX is
# made, default build; removed at the end unless KARV_BENCH_KEEP=1).
#
# Every contender exports twice in its turn: into an empty folder, then again over the files it
# has just written, as a player does who exports the game again after a change. The loop empties
# each file it writes (O_TRUNC, as every simple tool does); karvex writes over it.
#
# Exported folders are moved aside, not deleted, until the end: on a file system that keeps
# recently deleted inodes from reuse (ext4 without a journal), every file made after thousands
# were deleted pays a search past them, and each turn would pay more than the one before.
#
# MB/s are 10^6 bytes of member data (as exported, or as imported) per wall-clock second; peak
# memory is the maximum resident set from /usr/bin/time -v. Goals: export at least 2 x and
# import at least 3 x the loop's speed on the default count; peak memory at most
# (threads + 1) x 2 x the largest member + the index + the record + 32 MiB.
set -eu
bin=$(cd "$1" && pwd)
mib=${KARV_BENCH_MIB:-1024}
type=${KARV_BENCH_TYPE:-357}
runs=${KARV_BENCH_RUNS:-3}
c_runs=${KARV_BENCH_C_RUNS:-1}
parent=${KARV_BENCH_DIR:-build}
export LC_ALL=C.UTF-8

[ -x /usr/bin/time ] || { echo "bench-e2e: /usr/bin/time is missing (package time)" >&2; exit 1; }
mkdir -p "$parent"
work=$(mktemp -d "$(cd "$parent" && pwd)/bench-e2e.XXXXXX")
# The game and its copy, the archive grown by an import and every export set aside.
need=$((mib * (4 + 5 * runs) * 1024))
free=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free" -lt "$need" ]; then
    rmdir "$work"
    echo "bench-e2e: $((need / 1024)) MiB of free disk needed in $parent, $((free / 1024)) MiB free" >&2
    exit 1
fi
[ "${KARV_BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
cd "$work"

game=基准游戏
archive=$game/VOXBANK0.BIN
case $type in
357) index=$game/VOXBANK.IDX pick="1" exported=$game/Extracted ;;
Z54) index=$archive pick="1 1" exported=$game/Extracted/VOXBANK0 ;;
358) index=$game/VOXBANK0.IDX pick="1 1" exported=$game/Extracted/VOXBANK0 ;;
*)
    echo "bench-e2e: KARV_BENCH_TYPE must be 357, Z54 or 358" >&2
    exit 1
    ;;
esac
threads=$(nproc)

seconds() { # h:mm:ss.ss or m:ss.ss
    echo "$1" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
}

# Runs a command under /usr/bin/time -v with the answers on its input; sets $elapsed (seconds)
# and $peak (KiB).
measure() {
    answers=$1
    shift
    sync
    printf '%s\n' $answers | /usr/bin/time -v -o time.txt "$@" > run.log 2>&1
    elapsed=$(seconds "$(sed -n 's/.*Elapsed (wall clock) time.*: //p' time.txt)")
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
}

# The best time and the largest peak of a contender: best_<name>, peak_<name>.
keep() { # name
    eval "b=\${best_$1:-0} p=\${peak_$1:-0}"
    if [ "$b" = 0 ] || awk -v a="$elapsed" -v b="$b" 'BEGIN { exit !(a < b) }'; then
        eval "best_$1=$elapsed"
    fi
    [ "$peak" -gt "$p" ] && eval "peak_$1=$peak"
    return 0
}

# Moves an exported folder out of the way (see above).
set_aside() { # folder
    [ -e "$1" ] || return 0
    set_aside_count=$((${set_aside_count:-0} + 1))
    mkdir -p set-aside
    mv "$1" "set-aside/$set_aside_count"
}

sum_sizes() {
    find "$1" -maxdepth 1 -name '*.data' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'
}

# The game's files as the backup left them, put back before every import.
game_files="$archive $archive.qxdata"
[ "$type" = Z54 ] || game_files="$game_files $index"
save_game() { mkdir -p pristine && for f in $game_files; do cp "$f" "pristine/$(basename "$f")"; done; }
put_back() { for f in $game_files; do cp "pristine/$(basename "$f")" "$f"; done; }

echo "== a game of about $mib MiB, type $type"
"$bin/karvsample" --size "$mib" --type "$type" . > generate.log
sed -n 2p generate.log
sha256sum "$archive" "$index" > original.sha256
measure "$pick 3 1 0" "$bin/karvex_threads" 0 PC N
grep -q "备份数据成功" run.log || { echo "bench-e2e: backup failed" >&2; cat run.log >&2; exit 1; }
save_game

# The contenders take turns in a rotating order, so that none always runs on the machine the
# one before it left.
order="loop 1 0"
for run in $(seq "$runs"); do
    line="turn $run: export (then again over it)"
    for c in $order; do
        if [ "$c" = loop ]; then
            mkdir loop-out
            measure "" "$bin/export_loop" zlib "$type" PC "$index" "$archive" loop-out
            keep export_loop
            line="$line $c ${elapsed}"
            measure "" "$bin/export_loop" zlib "$type" PC "$index" "$archive" loop-out
            keep reexport_loop
            loop_bytes=$(sum_sizes loop-out)
            set_aside loop-out
        else
            set_aside "$exported"
            measure "$pick 1 0 99999999 2" "$bin/karvex_threads" "$c" PC N
            keep "export_$c"
            line="$line $c ${elapsed}"
            measure "$pick 1 0 99999999 2" "$bin/karvex_threads" "$c" PC N
            keep "reexport_$c"
            export_bytes=$(sum_sizes "$exported")
        fi
        line="$line (${elapsed}) s"
    done
    [ "$export_bytes" = "$loop_bytes" ] ||
        { echo "bench-e2e: karvex exported $export_bytes bytes, the loop $loop_bytes" >&2; exit 1; }
    line="$line; import"
    for c in $order; do
        put_back
        if [ "$c" = loop ]; then
            measure "" "$bin/import_loop" "$type" PC "$index" "$archive" "$exported"
            keep import_loop
        else
            measure "$pick 2" "$bin/karvex_threads" "$c" PC N
            keep "import_$c"
        fi
        line="$line $c ${elapsed} s"
    done
    echo "   $line"
    order=$(echo $order | awk '{ print $2, $3, $1 }')
done
# Once more, unmeasured, whoever came last: every file imported, and a restore after it.
put_back
measure "$pick 2" "$bin/karvex_threads" 0 PC N
members=$(find "$exported" -maxdepth 1 -name '*.data' | wc -l)
imported=$(grep -c "成功！" run.log || true)
[ "$imported" = "$members" ] || { echo "bench-e2e: imported $imported of $members files" >&2; exit 1; }
measure "$pick 4 1 0" "$bin/karvex_threads" 0 PC N
grep -q "恢复数据成功" run.log || { echo "bench-e2e: restore failed" >&2; cat run.log >&2; exit 1; }
sha256sum -c --quiet original.sha256 ||
    { echo "bench-e2e: the restore did not give back the original" >&2; exit 1; }

largest=$(find "$exported" -maxdepth 1 -name '*.data' -printf '%s\n' | sort -n | tail -1)
if [ "$type" = Z54 ]; then
    index_bytes=$((16 + 16 * $(od -An -tu4 -j4 -N4 "$index" | tr -d ' ')))
else
    index_bytes=$(wc -c < "$index")
fi
record_bytes=$(wc -c < "pristine/$(basename "$archive").qxdata")
limit=$((((threads + 1) * 2 * largest + index_bytes + record_bytes) / 1024 + 32 * 1024))

row() { # label name loop
    eval "b=\$best_$2 p=\$peak_$2 l=\$best_$3"
    awk -v label="$1" -v bytes="$export_bytes" -v b="$b" -v p="$p" -v l="$l" 'BEGIN {
        printf "   %-26s %8.2f s %9.1f MB/s %8d MiB %7.2f x\n", label, b, bytes / b / 1e6, p / 1024, l / b }'
}
echo
echo "== $type, PC: $members members, $((export_bytes / 1048576)) MiB of member data; $threads threads by default"
echo "   (best of $runs turns; x = the loop's time over this one's)"
row "export loop (zlib)" export_loop export_loop
row "karvex export, 1" export_1 export_loop
row "karvex export, default" export_0 export_loop
row "re-export loop (zlib)" reexport_loop reexport_loop
row "karvex re-export, 1" reexport_1 reexport_loop
row "karvex re-export, default" reexport_0 reexport_loop
row "import loop (zlib)" import_loop import_loop
row "karvex import, 1" import_1 import_loop
row "karvex import, default" import_0 import_loop
echo "   memory limit ($threads + 1) x 2 x $((largest / 1024)) KiB + index $((index_bytes / 1024)) KiB" \
    "+ record $((record_bytes / 1024)) KiB + 32 MiB = $((limit / 1024)) MiB;" \
    "export $((peak_export_0 / 1024)) MiB, import $((peak_import_0 / 1024)) MiB"
echo "   the restore gave back the original archive and index byte for byte"

# ---- "U" and "C" of one large member ----
# One member file of 256 MiB (or all the member data there is), made of the exported members.
find "$exported" -maxdepth 1 -name '*.data' | sort | xargs cat 2>/dev/null | head -c $((256 << 20)) > member.bin
member_bytes=$(wc -c < member.bin)
echo
echo "== U and C of one member of $((member_bytes >> 20)) MiB (x = the zlib loop's time over this one's)"
for kind in 357 Z54 358; do
    unset best_c_loop best_c_1 best_c_0 best_u_loop best_u_1 best_u_0 peak_c_loop peak_c_1 \
        peak_c_0 peak_u_loop peak_u_1 peak_u_0
    for run in $(seq "$c_runs"); do
        measure "" "$bin/codec_loop" C "$kind" member.bin
        keep c_loop
        loop_size=$(wc -c < member.bin.cdata)
        for t in 1 0; do
            measure "" "$bin/karvex_threads" "$t" PC C "$kind" member.bin
            keep "c_$t"
        done
        karvex_size=$(wc -c < member.bin.cdata)
    done
    mv member.bin.cdata member.cdata
    for run in $(seq "$runs"); do
        measure "" "$bin/codec_loop" U "$kind" member.cdata
        keep u_loop
        for t in 1 0; do
            measure "" "$bin/karvex_threads" "$t" PC U "$kind" member.cdata
            keep "u_$t"
        done
        cmp -s member.cdata.udata member.bin ||
            { echo "bench-e2e: U of $kind did not give the member back" >&2; exit 1; }
    done
    rm -f member.cdata member.cdata.udata
    export_bytes=$member_bytes
    row "$kind C, zlib loop" c_loop c_loop
    row "$kind C, karvex 1" c_1 c_loop
    row "$kind C, karvex default" c_0 c_loop
    echo "   $kind C output: karvex $karvex_size bytes, the zlib loop $loop_size bytes"
    row "$kind U, zlib loop" u_loop u_loop
    row "$kind U, karvex 1" u_1 u_loop
    row "$kind U, karvex default" u_0 u_loop
done
