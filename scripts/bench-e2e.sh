#!/bin/sh
# End-to-end benchmark of karvex on a generated game of about 1 GiB (thousands of members, raw
# and compressed): the menu export of every member against export_loop, a minimal loop doing
# the same reads, inflates and writes; then a backup, the import of every exported file, and a
# restore that must give back the original archive byte for byte.
#
#   scripts/bench-e2e.sh <bin folder of a Release build with KARV_BENCH=ON>
#
# Environment: KARV_BENCH_MIB (default 1024), KARV_BENCH_TYPE (357, Z54 or 358; default 357),
# KARV_BENCH_RUNS (timed runs of each export; default 5), KARV_BENCH_DIR (where
# the work folder bench-e2e.XXXXXX is made, default build; it is removed at the end unless
# KARV_BENCH_KEEP=1).
#
# Figures: MB/s are 10^6 bytes of member data (as exported, or as imported) per wall-clock
# second (the CPU seconds, user and system, are shown beside them); peak memory is the maximum
# resident set from /usr/bin/time -v. The loop and the export take turns; the speed ratio is
# shown for the best run of each and as the median of the ratios of each turn (the goal is
# judged on the median, which a busy machine disturbs least). Goals: export at least 0.9 x the
# loop's speed; peak memory at most 2 x the largest member + the index + 32 MiB.
set -eu
bin=$(cd "$1" && pwd)
mib=${KARV_BENCH_MIB:-1024}
type=${KARV_BENCH_TYPE:-357}
runs=${KARV_BENCH_RUNS:-5}
parent=${KARV_BENCH_DIR:-build}
export LC_ALL=C.UTF-8

[ -x /usr/bin/time ] || { echo "bench-e2e: /usr/bin/time is missing (package time)" >&2; exit 1; }
mkdir -p "$parent"
work=$(mktemp -d "$(cd "$parent" && pwd)/bench-e2e.XXXXXX")
# The game, two exports' worth of files and the imported copy.
need=$((mib * 4 * 1024))
free=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
if [ "$free" -lt "$need" ]; then
    rmdir "$work"
    echo "bench-e2e: $((need / 1024)) MiB of free disk needed in $parent, $((free / 1024)) MiB free" >&2
    exit 1
fi
[ "${KARV_BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
cd "$work"

game=基准游戏
case $type in
357)
    index=$game/VOXBANK.IDX
    pick="1"
    exported=$game/Extracted
    ;;
Z54)
    index=$game/VOXBANK0.BIN
    pick="1 1"
    exported=$game/Extracted/VOXBANK0
    ;;
358)
    index=$game/VOXBANK0.IDX
    pick="1 1"
    exported=$game/Extracted/VOXBANK0
    ;;
*)
    echo "bench-e2e: KARV_BENCH_TYPE must be 357, Z54 or 358" >&2
    exit 1
    ;;
esac
archive=$game/VOXBANK0.BIN

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
    cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' time.txt)
}

smaller() { # a b: true when a < b (or b is unset)
    [ "$2" = 0 ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'
}

sum_sizes() {
    find "$1" -maxdepth 1 -name '*.data' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'
}

rate() { # bytes seconds -> MB/s
    awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? b / s / 1e6 : 0) }'
}

echo "== 生成约 $mib MiB 的 $type 游戏"
start=$(date +%s)
"$bin/karvsample" --size "$mib" --type "$type" . > generate.log
echo "   $(sed -n 2p generate.log | sed 's/^ *//')（$(($(date +%s) - start)) 秒）"
sha256sum "$archive" "$index" > original.sha256

# Loop and export take turns, so a busy machine slows both alike.
best_loop=0 best_export=0 best_loop_cpu=0 best_export_cpu=0
for run in $(seq "$runs"); do
    rm -rf loop-out "$exported"
    mkdir loop-out
    measure "" "$bin/export_loop" "$type" PC "$index" "$archive" loop-out
    loop_time=$elapsed loop_peak=$peak loop_cpu=$cpu
    loop_bytes=$(sum_sizes loop-out)
    rm -rf loop-out
    measure "$pick 1 0 99999999 2" "$bin/karvex" PC N
    export_time=$elapsed export_peak=$peak export_cpu=$cpu
    echo "   第 $run 轮：最小循环 ${loop_time} 秒（CPU ${loop_cpu} 秒），karvex 导出 ${export_time} 秒（CPU ${export_cpu} 秒）"
    awk -v l="$loop_time" -v e="$export_time" 'BEGIN { print (e > 0 ? l / e : 0) }' >> ratios.txt
    smaller "$loop_time" "$best_loop" && best_loop=$loop_time
    smaller "$export_time" "$best_export" && best_export=$export_time
    smaller "$loop_cpu" "$best_loop_cpu" && best_loop_cpu=$loop_cpu
    smaller "$export_cpu" "$best_export_cpu" && best_export_cpu=$export_cpu
done
export_bytes=$(sum_sizes "$exported")
members=$(find "$exported" -maxdepth 1 -name '*.data' | wc -l)
[ "$export_bytes" = "$loop_bytes" ] || { echo "bench-e2e: export wrote $export_bytes bytes, the loop $loop_bytes" >&2; exit 1; }
largest=$(find "$exported" -maxdepth 1 -name '*.data' -printf '%s\n' | sort -n | tail -1)
# A Z54 index is the archive's header and table: 16 bytes and 16 per entry.
if [ "$type" = Z54 ]; then
    index_bytes=$((16 + 16 * $(od -An -tu4 -j4 -N4 "$index" | tr -d ' ')))
else
    index_bytes=$(wc -c < "$index")
fi
limit=$(((2 * largest + index_bytes) / 1024 + 32 * 1024))

measure "$pick 3 1 0" "$bin/karvex" PC N
grep -q "备份数据成功" run.log || { echo "bench-e2e: backup failed" >&2; cat run.log >&2; exit 1; }
measure "$pick 2" "$bin/karvex" PC N
import_time=$elapsed import_peak=$peak
imported=$(grep -c "成功！" run.log || true)
[ "$imported" = "$members" ] || { echo "bench-e2e: imported $imported of $members files" >&2; exit 1; }
grown=$(wc -c < "$archive")
measure "$pick 4 1 0" "$bin/karvex" PC N
grep -q "恢复数据成功" run.log || { echo "bench-e2e: restore failed" >&2; cat run.log >&2; exit 1; }
sha256sum -c --quiet original.sha256 || { echo "bench-e2e: restore did not give back the original" >&2; exit 1; }

ratio=$(awk -v l="$best_loop" -v e="$best_export" 'BEGIN { printf "%.2f", (e > 0 ? l / e : 0) }')
# The middle of the paired ratios: a run disturbed by other work on the machine counts little.
paired=$(sort -n ratios.txt | awk '{ r[NR] = $1 } END { printf "%.2f", r[int((NR + 1) / 2)] }')
cpu_ratio=$(awk -v l="$best_loop_cpu" -v e="$best_export_cpu" 'BEGIN { printf "%.2f", (e > 0 ? l / e : 0) }')
verdict() { awk -v ok="$1" 'BEGIN { print ok ? "达标" : "未达标" }'; }
echo
echo "== 结果（$type，PC；$members 个成员，导出数据 $((export_bytes / 1048576)) MiB，Voxbank $(($(wc -c < "$archive") / 1048576)) MiB）"
echo "   最小循环    $(rate "$export_bytes" "$best_loop") MB/s   峰值内存 $((loop_peak / 1024)) MiB"
echo "   karvex 导出 $(rate "$export_bytes" "$best_export") MB/s   峰值内存 $((export_peak / 1024)) MiB"
echo "   karvex 导入 $(rate "$export_bytes" "$import_time") MB/s   峰值内存 $((import_peak / 1024)) MiB（Voxbank 增长到 $((grown / 1048576)) MiB）"
echo "   导出速度 / 最小循环速度：各自最好一轮 $ratio，逐轮比的中位数 $paired（目标 ≥ 0.9：$(verdict "$(awk -v r="$paired" 'BEGIN { print (r >= 0.9) }')")），按 CPU 时间 $cpu_ratio"
echo "   内存上限 2 × 最大成员 $((largest / 1024)) KiB + IDX $((index_bytes / 1024)) KiB + 32 MiB = $((limit / 1024)) MiB" \
    "（导出：$(verdict "$((export_peak <= limit))")，导入：$(verdict "$((import_peak <= limit))")）"
echo "   恢复后 Voxbank 与 IDX 与原始文件逐字节相同"
