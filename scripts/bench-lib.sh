# Pieces the benchmark scripts share; bench-e2e.sh and bench-mods.sh source this file. It sets
# nothing when sourced and needs /usr/bin/time.

# Runs a command under /usr/bin/time -v with the answers on its input (one a line), its output
# in run.log; sets $elapsed (seconds, to the millisecond: time's own figure has hundredths only,
# too coarse for runs of a tenth of a second), $peak (KiB) and $faults (the pages it touched
# first, the minor page faults) and returns the command's exit code.
timed() { # answers command...
    answers=$1
    shift
    timed_status=0
    timed_start=$(date +%s%N)
    printf '%s\n' $answers | /usr/bin/time -v -o time.txt "$@" > run.log 2>&1 || timed_status=$?
    timed_end=$(date +%s%N)
    elapsed=$(awk -v a="$timed_start" -v b="$timed_end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
    faults=$(sed -n 's/.*Minor (reclaiming a frame) page faults: //p' time.txt)
    return "$timed_status"
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

# The files of the game karvsample --size writes, for its type: $game, $archive, $index, the
# menus' answers that pick its archive ($pick) and its export folder ($exported). False for a
# type it does not write.
bench_game() { # 357|Z54|358
    game=基准游戏
    archive=$game/VOXBANK0.BIN
    case $1 in
    357) index=$game/VOXBANK.IDX pick="1" exported=$game/Extracted ;;
    Z54) index=$archive pick="1 1" exported=$game/Extracted/VOXBANK0 ;;
    358) index=$game/VOXBANK0.IDX pick="1 1" exported=$game/Extracted/VOXBANK0 ;;
    *) return 1 ;;
    esac
}

# Makes the work folder <name>.XXXXXX in $parent and goes into it, when $need KiB of disk are
# free there (else it says so and exits); sets $work, removed at the end unless KARV_BENCH_KEEP
# is 1.
enter_work_folder() { # name
    mkdir -p "$parent"
    work=$(mktemp -d "$(cd "$parent" && pwd)/$1.XXXXXX")
    free=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
    if [ "$free" -lt "$need" ]; then
        rmdir "$work"
        echo "$1: $((need / 1024)) MiB of free disk needed in $parent, $((free / 1024)) MiB free" >&2
        exit 1
    fi
    [ "${KARV_BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
    cd "$work"
}
