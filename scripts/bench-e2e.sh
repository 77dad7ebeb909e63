#!/bin/sh
# End-to-end benchmark of karvex on a generated game of about 1 GiB (thousands of members, raw
# and compressed): the menu export of every member and the menu import of every exported file,
# with karvex on one thread and on the default count (karvex_threads sets the library's worker
# count), each against minimal single-threaded loops doing the same reads, inflates or deflates
# and writes: bench/export_loop.cpp inflating with zlib and with libdeflate, the same loop
# inflating nothing (the floor: the same files of the same sizes written the same way), and
# bench/import_loop.cpp. The contenders take turns, so a busy machine slows them alike; the best
# turn of each counts. At the end a restore must give back the original archive byte for byte.
#
#   scripts/bench-e2e.sh <bin folder of a Release build with KARV_BENCH=ON>
#
# Environment:
#   KARV_BENCH_MIB         size of the game in MiB (default 1024)
#   KARV_BENCH_TYPE        357, Z54 or 358 (default 357)
#   KARV_BENCH_RUNS        turns (default 3)
#   KARV_BENCH_C_RUNS      turns of "C" of the large member, slow with zlib at level 9 (default 1)
#   KARV_BENCH_PAGES       dear, cheap or both (default both): the page regimes the export and
#                          import rows run in, each with rows of its own (see below)
#   KARV_BENCH_CHEAP_MIB   size in MiB of the file written and deleted right before each run in
#                          the cheap regime (default twice the game, at least 512)
#   KARV_BENCH_SETTLE      seconds every export and import run waits, after writing back what
#                          is dirty and before the cheap file, for the pages freed by the run
#                          before to be handed back (default 3; 0 waits not)
#   KARV_BENCH_DIR         where the work folder bench-e2e.XXXXXX is made (default build)
#   KARV_BENCH_KEEP        1 keeps the work folder (default: removed at the end)
#
# Page regimes. On this kind of virtual machine the host takes back the memory the guest has
# freed, a few seconds after it was freed; a page touched again then costs a fault on the host
# (about 19 us for 4 KiB), and a run that writes files of hundreds of MiB spends most of its time
# there. "dear" is that case, as on a machine that has been idle: each run starts KARV_BENCH_SETTLE
# seconds after the last memory was freed. "cheap" is the case of memory freed a moment ago
# (after another program ended, or files were deleted): right before the run a file of
# KARV_BENCH_CHEAP_MIB is written (its pages are checked to be in memory) and deleted, and the
# run takes its pages (the default is more than an export of the game writes). "U" and "C" of
# the large member run as they come, in neither regime. Whether the host takes memory back, and
# how soon, is its own affair (it may keep the pages while it has room): when the floor's dear
# export is not much slower than its cheap one, the table says that the dear rows are not dear.
#
# Every contender exports twice in its turn: into an empty folder, then again over the files it
# has just written, as a player does who exports the game again after a change. The loops empty
# each file they write (O_TRUNC, as every simple tool does); karvex writes over it.
#
# Exported folders are moved aside, not deleted, until the end: on a file system that keeps
# recently deleted inodes from reuse (ext4 without a journal), every file made after thousands
# were deleted pays a search past them, and each turn would pay more than the one before. Their
# pages are dropped from memory after each regime's turn, followed by a wait of three times
# KARV_BENCH_SETTLE: kept, the outputs of earlier runs would fill memory and every later run
# would take pages the kernel frees on the spot, cheap ones; dropped right before a run, they
# would be cheap pages for it.
#
# MB/s are 10^6 bytes of member data (as exported, or as imported) per wall-clock second; peak
# memory is the maximum resident set from /usr/bin/time -v. Goals, on the default count: export
# in at most 0.65 x the libdeflate loop's time (column /ld) in both regimes; export at least 2 x
# and import at least 3 x the zlib loop's speed (column x); peak memory at most
# (threads + 1) x 2 x the largest member + the index + the record + 32 MiB. Then VERIFY and LIST
# (karvex PC VERIFY 1, karvex PC LIST 1) against a loop that reads and inflates every member with
# libdeflate without writing it: VERIFY in at most 0.6 x its time, LIST in at most a tenth of
# VERIFY's, VERIFY's peak memory within the export's limit.
set -eu
. "$(dirname "$0")/bench-lib.sh"
bin=$(cd "$1" && pwd)
mib=${KARV_BENCH_MIB:-1024}
type=${KARV_BENCH_TYPE:-357}
runs=${KARV_BENCH_RUNS:-3}
c_runs=${KARV_BENCH_C_RUNS:-1}
cheap_mib=${KARV_BENCH_CHEAP_MIB:-$((2 * mib > 512 ? 2 * mib : 512))}
settle=${KARV_BENCH_SETTLE:-3}
parent=${KARV_BENCH_DIR:-build}
export LC_ALL=C.UTF-8

case ${KARV_BENCH_PAGES:-both} in
dear | cheap) regimes=${KARV_BENCH_PAGES} ;;
both) regimes="dear cheap" ;;
*)
    echo "bench-e2e: KARV_BENCH_PAGES must be dear, cheap or both" >&2
    exit 1
    ;;
esac
regime_count=$(echo $regimes | wc -w)

for tool in /usr/bin/time fincore; do
    command -v "$tool" > /dev/null || { echo "bench-e2e: $tool is missing" >&2; exit 1; }
done
# The game and its copy, the archive grown by an import, every export set aside (about 1.5 x
# the game each, five per turn and regime) and the cheap file.
need=$((mib * (4 + 8 * runs * regime_count) * 1024 + cheap_mib * 1024))
enter_work_folder bench-e2e

bench_game "$type" || { echo "bench-e2e: KARV_BENCH_TYPE must be 357, Z54 or 358" >&2; exit 1; }
threads=$(nproc)

# The run's pages as $pages asks (empty: as they come): what is dirty written back, then for a
# regime the wait, and for the cheap one a file of $cheap_mib MiB whose pages are freed at once.
prepare_pages() {
    sync
    [ -n "${pages:-}" ] || return 0
    sleep "$settle"
    [ "$pages" = cheap ] || return 0
    dd if=/dev/zero of=cheap-pages bs=1M count="$cheap_mib" status=none
    cached=$(fincore -b -n -o RES cheap-pages)
    rm cheap-pages
    [ "$cached" -ge $((cheap_mib << 20)) ] || {
        echo "bench-e2e: only $((cached >> 20)) of $cheap_mib MiB to be freed were in memory" >&2
        exit 1
    }
}

# Runs a command as timed does (bench-lib.sh), its pages prepared first.
measure() { # answers command...
    prepare_pages
    timed "$@"
}

# Moves an exported folder out of the way (see above).
set_aside_count=0
set_aside() { # folder
    [ -e "$1" ] || return 0
    set_aside_count=$((set_aside_count + 1))
    mkdir -p set-aside
    mv "$1" "set-aside/$set_aside_count"
}

# Drops the pages of the folders set aside since the last call from memory, once written back,
# and waits for the memory freed to be handed back (see above).
dropped_count=0
drop_set_aside() {
    sync
    while [ "$dropped_count" -lt "$set_aside_count" ]; do
        dropped_count=$((dropped_count + 1))
        find "set-aside/$dropped_count" -type f -exec dd if={} iflag=nocache count=0 status=none \;
    done
    sleep $((3 * settle))
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

# One contender's export and re-export in regime $pages: best_export_<c>_<pages> and
# best_reexport_<c>_<pages>, its byte count in bytes_<c>. Loops write into loop-out.
export_turn() { # zlib|libdeflate|none|1|0
    if [ "$1" = 1 ] || [ "$1" = 0 ]; then
        set_aside "$exported"
        out=$exported
        set -- "$1" "$pick 1 0 99999999 2" "$bin/karvex_threads" "$1" PC N
    else
        mkdir loop-out
        out=loop-out
        set -- "$1" "" "$bin/export_loop" "$1" "$type" PC "$index" "$archive" loop-out
    fi
    who=$1
    shift
    measure "$@"
    keep "export_${who}_$pages"
    line="$line $who ${elapsed}"
    measure "$@"
    keep "reexport_${who}_$pages"
    line="$line (${elapsed}) s"
    eval "bytes_$who=$(sum_sizes "$out")"
    [ "$out" = loop-out ] && set_aside loop-out
    return 0
}

import_turn() { # loop|1|0
    put_back
    if [ "$1" = loop ]; then
        measure "" "$bin/import_loop" "$type" PC "$index" "$archive" "$exported"
    else
        measure "$pick 2" "$bin/karvex_threads" "$1" PC N
    fi
    keep "import_${1}_$pages"
    line="$line $1 ${elapsed} s"
}

# The contenders take turns in a rotating order, so that none always runs on the machine the
# one before it left; the regimes alternate likewise.
order="zlib libdeflate none 1 0"
import_order="loop 1 0"
turn_regimes=$regimes
for run in $(seq "$runs"); do
    for pages in $turn_regimes; do
        line="turn $run, $pages pages: export (then again over it)"
        for c in $order; do
            export_turn "$c"
        done
        export_bytes=$bytes_0
        for c in zlib libdeflate none 1; do
            eval "b=\$bytes_$c"
            [ "$b" = "$export_bytes" ] ||
                { echo "bench-e2e: $c exported $b bytes, karvex $export_bytes" >&2; exit 1; }
        done
        line="$line; import"
        for c in $import_order; do
            import_turn "$c"
        done
        echo "   $line"
        drop_set_aside
    done
    order=$(echo $order | awk '{ print $2, $3, $4, $5, $1 }')
    import_order=$(echo $import_order | awk '{ print $2, $3, $1 }')
    turn_regimes=$(echo $turn_regimes | awk '{ print $2, $1 }')
done
pages=
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

# VERIFY and LIST of the game, against the loop that reads and inflates every member with
# libdeflate on one thread without writing it, in turns; the game's files are in memory for all
# of them alike (each run reads them whole or in part right before the next).
verify_order="loop 1 0 list"
for run in $(seq "$runs"); do
    line="turn $run: verify"
    for c in $verify_order; do
        case $c in
        loop) measure "" "$bin/export_loop" --no-write libdeflate "$type" PC "$index" "$archive" ;;
        list) measure "" "$bin/karvex_threads" 0 PC LIST 1 ;;
        *) measure "" "$bin/karvex_threads" "$c" PC VERIFY 1 ;;
        esac
        keep "verify_$c"
        line="$line $c ${elapsed} s"
        case $c in
        list) grep -q "^列出完毕" run.log || { echo "bench-e2e: LIST failed" >&2; tail -3 run.log >&2; exit 1; } ;;
        1 | 0) grep -q "未发现问题" run.log || { echo "bench-e2e: VERIFY failed" >&2; tail -3 run.log >&2; exit 1; } ;;
        esac
    done
    echo "   $line"
    verify_order=$(echo $verify_order | awk '{ print $2, $3, $4, $1 }')
done

largest=$(find "$exported" -maxdepth 1 -name '*.data' -printf '%s\n' | sort -n | tail -1)
if [ "$type" = Z54 ]; then
    index_bytes=$((16 + 16 * $(od -An -tu4 -j4 -N4 "$index" | tr -d ' ')))
else
    index_bytes=$(wc -c < "$index")
fi
record_bytes=$(wc -c < "pristine/$(basename "$archive").qxdata")
limit=$((((threads + 1) * 2 * largest + index_bytes + record_bytes) / 1024 + 32 * 1024))

# A row of the table: the best time, the speed, the peak, the zlib loop's time over this one's,
# and for an export this one's time over the libdeflate loop's and over the floor's.
table_row() { # label name zlib-loop [libdeflate-loop floor]
    eval "b=\$best_$2 p=\$peak_$2 z=\$best_$3"
    ld= floor=
    [ $# -lt 5 ] || eval "ld=\$best_$4 floor=\$best_$5"
    awk -v label="$1" -v bytes="$export_bytes" -v b="$b" -v p="$p" -v z="$z" -v ld="$ld" \
        -v floor="$floor" 'BEGIN {
        printf "   %-28s %7.2f s %7.1f MB/s %6d MiB %6.2f x", label, b, bytes / b / 1e6, p / 1024,
            z / b
        if (ld != "") printf " %7.2f %7.2f", b / ld, b / floor
        printf "\n" }'
}
echo
echo "== $type, PC: $members members, $((export_bytes / 1048576)) MiB of member data; $threads threads by default"
echo "   (best of $runs turns; x = the zlib loop's time over this one's; /ld and /floor = this"
echo "   one's time over the libdeflate loop's and over the floor's, in the same regime and pass)"
for pages in $regimes; do
    echo "   -- $pages pages"
    printf '   %-28s %9s %12s %10s %8s %7s %7s\n' "" time speed peak x /ld /floor
    for pass in export reexport; do
        [ "$pass" = export ] && what=export || what=re-export
        loops="${pass}_zlib_$pages ${pass}_libdeflate_$pages ${pass}_none_$pages"
        table_row "$what loop (zlib)" "${pass}_zlib_$pages" $loops
        table_row "$what loop (libdeflate)" "${pass}_libdeflate_$pages" $loops
        table_row "$what floor (write only)" "${pass}_none_$pages" $loops
        table_row "karvex $what, 1" "${pass}_1_$pages" $loops
        table_row "karvex $what, default" "${pass}_0_$pages" $loops
    done
    table_row "import loop (zlib)" "import_loop_$pages" "import_loop_$pages"
    table_row "karvex import, 1" "import_1_$pages" "import_loop_$pages"
    table_row "karvex import, default" "import_0_$pages" "import_loop_$pages"
done
# Whether freed memory is taken back is the host's choice; the floor, which does little besides
# touching new pages, shows whether it was.
if [ "$regime_count" = 2 ] && awk -v d="$best_export_none_dear" -v c="$best_export_none_cheap" \
    'BEGIN { exit !(d < 2 * c) }'; then
    echo "   the floor's best dear export took less than twice its best cheap one: in the turns"
    echo "   that count the host had not taken back the memory freed; the dear rows are not dear"
fi
peaks=
for pages in $regimes; do
    eval "e=\$peak_export_0_$pages i=\$peak_import_0_$pages"
    peaks="$peaks; $pages: export $((e / 1024)) MiB, import $((i / 1024)) MiB"
done
echo "   memory limit ($threads + 1) x 2 x $((largest / 1024)) KiB + index $((index_bytes / 1024)) KiB" \
    "+ record $((record_bytes / 1024)) KiB + 32 MiB = $((limit / 1024)) MiB${peaks}"
echo "   the restore gave back the original archive and index byte for byte"
echo
echo "== VERIFY and LIST (best of $runs turns; /loop = this one's time over the read-and-inflate loop's,"
echo "   /verify = over karvex VERIFY's on the default count)"
printf '   %-28s %9s %12s %10s %8s %8s\n' "" time speed peak /loop /verify
for c in loop 1 0 list; do
    case $c in
    loop) label="read-and-inflate loop" ;;
    list) label="karvex LIST, default" ;;
    *) label="karvex VERIFY, $( [ "$c" = 1 ] && echo 1 || echo default)" ;;
    esac
    eval "b=\$best_verify_$c p=\$peak_verify_$c"
    awk -v label="$label" -v bytes="$export_bytes" -v b="$b" -v p="$p" -v l="$best_verify_loop" \
        -v v="$best_verify_0" 'BEGIN {
        printf "   %-28s %7.2f s %7.1f MB/s %6d MiB %8.2f %8.2f\n", label, b, bytes / b / 1e6,
            p / 1024, b / l, b / v }'
done
echo "   goals: VERIFY on the default count at most 0.6 x the loop, LIST at most 0.1 x VERIFY;"
echo "   VERIFY's peak within the export's limit above"

row() { # label name loop
    eval "b=\$best_$2 p=\$peak_$2 l=\$best_$3"
    awk -v label="$1" -v bytes="$export_bytes" -v b="$b" -v p="$p" -v l="$l" 'BEGIN {
        printf "   %-26s %8.2f s %9.1f MB/s %8d MiB %7.2f x\n", label, b, bytes / b / 1e6, p / 1024, l / b }'
}

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
