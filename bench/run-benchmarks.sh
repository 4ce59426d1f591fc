#!/usr/bin/env bash
# Benchmarks of the real game, each beside a floor: a minimal Qt Widgets window of
# the game's size with a 100 ms timer that repaints a small square (bench/tools/
# floor.cpp), built here and measured the same way on the same machine. Prints a
# table with the target of each row and whether it is met. Not a test: the figures
# depend on the machine, so run it on a quiet one (the load average is printed).
#
#   bench/run-benchmarks.sh [--runs N] [--binary PATH] [--quick] [--keep]
#
#   --runs N       runs per figure, the median is reported (default 5; start-up: 21)
#   --binary PATH  the game (default build/ui/zenkora, built if missing)
#   --quick        3 runs, shorter timer and latency phases
#   --keep         keep the working folder (traces, logs) and print its path
#
# Needs: xvfb, pulseaudio, pulseaudio-utils, cmake, g++, qt6-base-dev, libx11-dev,
# libxtst-dev, libxdamage-dev, libxfixes-dev (bench/install-deps.sh installs them).
#
# Everything runs in a private Xvfb (free display number from -displayfd) and a
# private PulseAudio with a null sink, both stopped by PID at the end; the games run
# in a temporary folder with copies of assets/ and their own HOME.
#
# How each figure is measured
#   start-up      xprobe starts the program and waits, with XDamage on every new
#                 top-level window, until the window with the program's title is
#                 mapped and drawn into over its whole area. Time from just before
#                 the spawn. One warm-up run each, then floor and game alternate, 21
#                 times. Beside it, for reading only: the quartiles, and the CPU time
#                 the main thread had used by then (/proc/PID/schedstat), which a busy
#                 machine disturbs far less than the wall clock.
#   memory        VmRSS from /proc/PID/status after 5 s idle (the game's title music
#                 playing into the null sink).
#   CPU           utime+stime from /proc/PID/stat (all threads) over 10 s: idle right
#                 after the memory reading; in play while xprobe clicks はじめ and keeps
#                 the game going (answers game-over boxes, starts the next game).
#   timers        ZENKORA_TRACE stamps every handled tick. UFO_Timer: 60 s idle.
#                 GameTimer: in play until 300 intervals. An interval is between two
#                 ticks of the same timer with no tick of the other between them (the
#                 game switches them over). Lost: an interval over 1.5 periods;
#                 doubled: under 0.5 periods. The floor runs its 100 ms and 400 ms
#                 timers the same way.
#   input         xprobe sends Left or Right with XTest 120 ms after a block step (the
#                 step read from the live trace), then polls XGetImage of the cell the
#                 block moves into until it changes: send to picture on the X server.
#                 The floor moves its square the same way.
#   repaint work  From the trace: each paint is charged to the tick or key before it.
#                 Playfield pixels per UFO tick (idle) and per block step (in play).

set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
startup_runs=21
binary=$root/build/ui/zenkora
quick=no
keep=no
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --binary) binary=$2; shift 2 ;;
    --quick) quick=yes; runs=3; startup_runs=9; shift ;;
    --keep) keep=yes; shift ;;
    -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "run-benchmarks: unknown option $1" >&2; exit 2 ;;
    esac
done
if [ "$quick" = yes ]; then
    ufo_seconds=30; game_intervals=150; latency_samples=15
else
    ufo_seconds=60; game_intervals=300; latency_samples=30
fi

for tool in Xvfb pulseaudio pactl cmake g++; do
    command -v "$tool" >/dev/null || { echo "run-benchmarks: $tool is missing (bench/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-bench.XXXXXX")
xvfb_pid=""
pulse_pid=""
declare -a started=()

stop_pid() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
cleanup() {
    local p
    for p in "${started[@]}"; do stop_pid "$p"; done
    stop_pid "$pulse_pid"
    stop_pid "$xvfb_pid"
    if [ "$keep" = yes ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

log() { printf '%s\n' "$*" >&2; }

# ------------------------------------------------------------------ tools and game
log "== building the floor and the X probe"
cmake -S "$root/bench/tools" -B "$work/tools" -G Ninja >/dev/null 2>"$work/tools.log" ||
    cmake -S "$root/bench/tools" -B "$work/tools" >/dev/null
cmake --build "$work/tools" >>"$work/tools.log" 2>&1 || { cat "$work/tools.log"; exit 2; }
floor=$work/tools/floor
xprobe=$work/tools/xprobe
if [ ! -x "$binary" ]; then
    log "== building the game"
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
    cmake --build "$root/build" --target zenkora >/dev/null
fi
title="Zenkora Ver. 1"
floor_title="zenkora-floor"

game_dir=$work/game
mkdir -p "$game_dir" "$work/home" "$work/run"
cp "$root"/assets/* "$game_dir/"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache
unset ZENKORA_TRACE ZENKORA_TRACE_FLUSH QT_QPA_PLATFORM PULSE_SINK PULSE_SOURCE

# ------------------------------------------------------------------ X and sound
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { log "Xvfb did not start"; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --use-pid-file=no \
    --load=module-null-sink --load=module-native-protocol-unix \
    --log-target=stderr 2>"$work/pulse.log" &
pulse_pid=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { log "PulseAudio did not start"; tail -5 "$work/pulse.log" >&2; exit 1; }

# ------------------------------------------------------------------ helpers
clk_tck=$(getconf CLK_TCK)

median() { sort -n | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
quartiles() { sort -n | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else printf "%s-%s\n", a[int((NR + 3) / 4)], a[int((3 * NR + 3) / 4)] }'; }

# Starts a program in the game folder; its PID goes to $last_pid.
launch() {
    (cd "$game_dir" && exec "$@" >>"$work/programs.log" 2>&1) &
    last_pid=$!
    started+=("$last_pid")
}

# Asks the window to close (the game flushes its trace on the way out), then ends it.
finish() {
    local pid=$1 name=$2 i
    "$xprobe" close --title "$name" --timeout-ms 2000 >/dev/null 2>&1 || true
    for i in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    stop_pid "$pid"
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# CPU of PID over SECONDS, in percent of one core.
cpu_over() {
    local pid=$1 seconds=$2 a b t0 t1
    a=$(cpu_ticks "$pid"); t0=$(date +%s%N)
    sleep "$seconds"
    b=$(cpu_ticks "$pid"); t1=$(date +%s%N)
    awk -v a="$a" -v b="$b" -v hz="$clk_tck" -v ns=$((t1 - t0)) 'BEGIN { printf "%.2f\n", (b - a) / hz * 1e9 / ns * 100 }'
}

# ------------------------------------------------------------------ start-up
# A start takes some 30 ms, so this figure can afford many runs: the wall clock of
# so short a span moves by several ms with whatever else the machine does.
log "== start-up ($startup_runs runs each, alternating, after one warm-up)"
startup() {
    (cd "$game_dir" && "$xprobe" startup --title "$1" -- "${@:2}") |
        sed -n 's/.*painted_us=\([0-9]*\).*main_cpu_us=\([0-9-]*\).*/\1 \2/p'
}
startup "$floor_title" "$floor" >/dev/null
startup "$title" "$binary" >/dev/null
: >"$work/startup.floor"; : >"$work/startup.game"
for _ in $(seq "$startup_runs"); do
    startup "$floor_title" "$floor" >>"$work/startup.floor"
    startup "$title" "$binary" >>"$work/startup.game"
done
# Column 1: exec to painted; column 2: the main thread's CPU time by then (us).
su_floor=$(awk '{ print $1 / 1000 }' "$work/startup.floor" | median)
su_game=$(awk '{ print $1 / 1000 }' "$work/startup.game" | median)
su_floor_q=$(awk '{ printf "%.1f\n", $1 / 1000 }' "$work/startup.floor" | quartiles)
su_game_q=$(awk '{ printf "%.1f\n", $1 / 1000 }' "$work/startup.game" | quartiles)
su_cpu_floor=$(awk '$2 >= 0 { printf "%.1f\n", $2 / 1000 }' "$work/startup.floor" | median)
su_cpu_game=$(awk '$2 >= 0 { printf "%.1f\n", $2 / 1000 }' "$work/startup.game" | median)

# ------------------------------------------------------------------ memory and idle CPU
log "== memory after 5 s idle, then CPU over 10 s idle ($runs runs each, alternating)"
: >"$work/rss.floor"; : >"$work/rss.game"; : >"$work/cpu.floor"; : >"$work/cpu.game"
idle_run() {
    local name=$1 kind=$2; shift 2
    launch "$@"
    local pid=$last_pid
    "$xprobe" wait --title "$name" >/dev/null
    sleep 5
    rss_kb "$pid" >>"$work/rss.$kind"
    cpu_over "$pid" 10 >>"$work/cpu.$kind"
    finish "$pid" "$name"
}
for _ in $(seq "$runs"); do
    idle_run "$floor_title" floor "$floor"
    idle_run "$title" game "$binary"
done
rss_floor=$(awk '{ print $1 / 1024 }' "$work/rss.floor" | median)
rss_game=$(awk '{ print $1 / 1024 }' "$work/rss.game" | median)
cpu_floor=$(median <"$work/cpu.floor")
cpu_idle=$(median <"$work/cpu.game")

# ------------------------------------------------------------------ CPU in play
log "== CPU over 10 s in play ($runs runs)"
: >"$work/cpu.play"
for _ in $(seq "$runs"); do
    launch "$binary"
    pid=$last_pid
    "$xprobe" wait --title "$title" >/dev/null
    sleep 1
    "$xprobe" play --title "$title" --seconds 13 >>"$work/play.log" 2>&1 &
    player=$!
    sleep 1.5  # the click has landed and the first UFO is out
    cpu_over "$pid" 10 >>"$work/cpu.play"
    stop_pid "$player"
    finish "$pid" "$title"
done
cpu_play=$(median <"$work/cpu.play")

# ------------------------------------------------------------------ timers and repaint work
log "== timers: floor ${ufo_seconds}s at 100 ms and $((game_intervals * 2 / 5 + 5))s at 400 ms, side by side"
ZENKORA_TRACE=$work/floor100.trace launch "$floor" --title floor-100
f100=$last_pid
ZENKORA_TRACE=$work/floor400.trace launch "$floor" --title floor-400 --interval 400 --tick-name game
f400=$last_pid
sleep "$ufo_seconds"
finish "$f100" floor-100
sleep $((game_intervals * 2 / 5 + 5 - ufo_seconds > 0 ? game_intervals * 2 / 5 + 5 - ufo_seconds : 0))
finish "$f400" floor-400

log "== timers: game ${ufo_seconds}s idle, then in play until $game_intervals GameTimer intervals"
trace=$work/game.trace
ZENKORA_TRACE=$trace ZENKORA_TRACE_FLUSH=1 launch "$binary"
pid=$last_pid
"$xprobe" wait --title "$title" >/dev/null
sleep 1
if [ ! -s "$trace" ]; then
    log "run-benchmarks: $binary writes no ZENKORA_TRACE; it predates the trace"
    exit 1
fi
idle_from=$(awk '/^ufo / { print $2; exit }' "$trace")
sleep "$ufo_seconds"
play_from=$(awk '/^ufo / { t = $2 } END { print t }' "$trace")
"$xprobe" play --title "$title" --seconds 600 >>"$work/play.log" 2>&1 &
player=$!
game_intervals_now() {
    awk -v from="$play_from" '$2 < from { next } /^ufo / { last = "" } /^game / { if (last == "game") n++; last = "game" } END { print n + 0 }' "$trace"
}
for _ in $(seq 120); do
    [ "$(game_intervals_now)" -ge "$game_intervals" ] && break
    sleep 5
done
stop_pid "$player"
finish "$pid" "$title"

# In time order: a tick's line is written when its handler is done, after the
# paints it caused.
by_time() { awk '{ t = ($1 == "key" || $1 == "paint") ? $3 : $2; print t, $0 }' "$1" | sort -n -k1,1 | cut -d' ' -f2-; }
by_time "$trace" >"$work/game.sorted"
trace=$work/game.sorted

# Interval statistics of one timer's ticks in a trace between two times:
# "count median_ms p99_dev_ms lost doubled"
intervals() {
    local file=$1 name=$2 other=$3 period=$4 from=$5 to=$6
    awk -v name="$name" -v other="$other" -v from="$from" -v to="$to" '
        $1 != name && $1 != other { next }
        $2 < from || $2 > to { next }
        $1 == other { prev = ""; next }
        { if (prev != "") print $2 - prev; prev = $2 }' "$file" >"$work/iv"
    local n med p99 lost dbl
    n=$(wc -l <"$work/iv")
    med=$(awk '{ print $1 / 1000 }' "$work/iv" | median)
    p99=$(awk -v p="$period" '{ d = $1 / 1000 - p; print d < 0 ? -d : d }' "$work/iv" | sort -n |
        awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else { i = int(NR * 0.99 + 0.999); if (i > NR) i = NR; print a[i] } }')
    lost=$(awk -v p="$period" '$1 / 1000 > 1.5 * p' "$work/iv" | wc -l)
    dbl=$(awk -v p="$period" '$1 / 1000 < 0.5 * p' "$work/iv" | wc -l)
    echo "$n $med $p99 $lost $dbl"
}
big=99999999999999
read -r ufo_n ufo_med ufo_p99 ufo_lost ufo_dbl < <(intervals "$trace" ufo game 100 "$idle_from" "$play_from")
read -r game_n game_med game_p99 game_lost game_dbl < <(intervals "$trace" game ufo 400 "$play_from" "$big")
read -r f100_n f100_med f100_p99 f100_lost f100_dbl < <(intervals "$work/floor100.trace" ufo none 100 0 "$big")
read -r f400_n f400_med f400_p99 f400_lost f400_dbl < <(intervals "$work/floor400.trace" game none 400 0 "$big")

# Repaint work: each paint charged to the latest tick or key before it.
#   per UFO tick in the idle phase; per GameTimer tick that moved the block.
awk -v from="$idle_from" -v to="$play_from" '
    # game <us> <col> <row> <falling>: a step is a tick after which the block is a row lower
    $1 == "ufo" || $1 == "game" || $1 == "key" { close_tick(); kind = $1; t = ($1 == "key") ? $3 : $2
        moved = ($1 == "game" && $5 == 1 && $4 != pr); if ($1 == "game") pr = $4
        field = 0; other = 0; open = 1; next }
    $1 == "paint" && open { if ($4 == "picSpace") field += $2; else other += $2 }
    function close_tick() {
        if (!open) return
        if (kind == "ufo" && t >= from && t < to) print "ufo", field, other
        if (kind == "game" && t >= to && moved) print "step", field, other
        open = 0
    }
    END { close_tick() }' "$trace" >"$work/repaint"
rp_ufo=$(awk '$1 == "ufo" { print $2 }' "$work/repaint" | median)
rp_ufo_max=$(awk '$1 == "ufo" { print $2 }' "$work/repaint" | sort -n | tail -1)
rp_ufo_other=$(awk '$1 == "ufo" { print $3 }' "$work/repaint" | median)
rp_step=$(awk '$1 == "step" { print $2 }' "$work/repaint" | median)
rp_step_max=$(awk '$1 == "step" { print $2 }' "$work/repaint" | sort -n | tail -1)
rp_step_other=$(awk '$1 == "step" { print $3 }' "$work/repaint" | median)
rp_floor=$(awk '$1 == "paint" { print $2 }' "$work/floor100.trace" | median)

# ------------------------------------------------------------------ input latency
log "== input latency ($latency_samples samples each)"
ZENKORA_TRACE=$work/latency.trace ZENKORA_TRACE_FLUSH=1 launch "$binary"
pid=$last_pid
"$xprobe" wait --title "$title" >/dev/null
sleep 1
"$xprobe" latency --title "$title" --trace "$work/latency.trace" --samples "$latency_samples" \
    --log "$work/latency.game" >>"$work/latency.log" 2>&1 || log "   (fewer samples than asked, see latency.log)"
finish "$pid" "$title"
launch "$floor"
pid=$last_pid
"$xprobe" wait --title "$floor_title" >/dev/null
sleep 0.5
"$xprobe" latency --title "$floor_title" --floor --samples "$latency_samples" \
    --log "$work/latency.floor" >>"$work/latency.log" 2>&1 || true
finish "$pid" "$floor_title"
lat_game=$(awk '/^sample / { print $4 / 1000 }' "$work/latency.game" 2>/dev/null | median)
lat_game_max=$(awk '/^sample / { print $4 / 1000 }' "$work/latency.game" 2>/dev/null | sort -n | tail -1)
lat_game_n=$(grep -c '^sample ' "$work/latency.game" 2>/dev/null || true)
lat_floor=$(awk '/^sample / { print $4 / 1000 }' "$work/latency.floor" 2>/dev/null | median)
lat_floor_max=$(awk '/^sample / { print $4 / 1000 }' "$work/latency.floor" 2>/dev/null | sort -n | tail -1)

# ------------------------------------------------------------------ the table
verdict() {
    case $1 in *nan* | *"  "*) echo MISS; return ;; esac  # a figure is missing
    awk "BEGIN { exit !($1) }" 2>/dev/null && echo pass || echo MISS
}
line() { printf '%-34s %14s %14s  %-26s %s\n' "$@"; }

echo
echo "Zenkora benchmarks on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $runs runs per figure, $startup_runs for start-up (median)"
echo "game: $binary"
echo
line "figure" "floor" "zenkora" "target" "result"
line "------" "-----" "-------" "------" "------"
line "start-up: exec to painted (ms)" "$su_floor" "$su_game" "<= 1.5 x floor" \
    "$(verdict "$su_game <= 1.5 * $su_floor") ($(awk -v a="$su_game" -v b="$su_floor" 'BEGIN { printf "%.2f x", a / b }'))"
line "  quartiles of those runs (ms)" "$su_floor_q" "$su_game_q" "-" "-"
line "  main thread's CPU by then (ms)" "$su_cpu_floor" "$su_cpu_game" "-" \
    "$(awk -v a="$su_cpu_game" -v b="$su_cpu_floor" 'BEGIN { printf "%.2f x", a / b }')"
line "memory: RSS after 5 s idle (MB)" "$(printf %.1f "$rss_floor")" "$(printf %.1f "$rss_game")" "<= 1.4 x floor" \
    "$(verdict "$rss_game <= 1.4 * $rss_floor") ($(awk -v a="$rss_game" -v b="$rss_floor" 'BEGIN { printf "%.2f x", a / b }'))"
line "CPU idle, 10 s (% of a core)" "$cpu_floor" "$cpu_idle" "<= 0.6" "$(verdict "$cpu_idle <= 0.6")"
line "CPU in play, 10 s (% of a core)" "$cpu_floor (idle)" "$cpu_play" "<= 0.6" "$(verdict "$cpu_play <= 0.6")"
line "UFO_Timer median period (ms)" "$f100_med" "$ufo_med" "100 +- 1" "$(verdict "$ufo_med >= 99 && $ufo_med <= 101")"
line "UFO_Timer p99 deviation (ms)" "$f100_p99" "$ufo_p99" "<= 5" "$(verdict "$ufo_p99 <= 5")"
line "UFO_Timer lost/doubled ($ufo_n ivs)" "$f100_lost/$f100_dbl" "$ufo_lost/$ufo_dbl" "0/0" "$(verdict "$ufo_lost + $ufo_dbl == 0 && $ufo_n >= $((ufo_seconds * 10 - 5))")"
line "GameTimer median period (ms)" "$f400_med" "$game_med" "400 +- 1" "$(verdict "$game_med >= 399 && $game_med <= 401")"
line "GameTimer p99 deviation (ms)" "$f400_p99" "$game_p99" "<= 5" "$(verdict "$game_p99 <= 5")"
line "GameTimer lost/doubled ($game_n ivs)" "$f400_lost/$f400_dbl" "$game_lost/$game_dbl" "0/0" "$(verdict "$game_lost + $game_dbl == 0 && $game_n >= $game_intervals")"
line "input: key to picture, median (ms)" "$lat_floor" "$lat_game" "<= 16.7" "$(verdict "$lat_game <= 16.7")"
line "input: worst of $lat_game_n (ms)" "$lat_floor_max" "$lat_game_max" "(shown)" "-"
line "repaint px per UFO tick, field" "$rp_floor" "$rp_ufo" "<= 15552 (162x96 strip)" "$(verdict "$rp_ufo_max <= 15552") (max $rp_ufo_max)"
line "repaint px per UFO tick, others" "-" "$rp_ufo_other" "0 (labels change per UFO)" "-"
line "repaint px per block step, field" "-" "$rp_step" "<= 2178 (two cells)" "$(verdict "$rp_step_max <= 2178") (max $rp_step_max)"
line "repaint px per block step, others" "-" "$rp_step_other" "0" "$(verdict "$rp_step_other == 0")"
echo
echo "CPU: utime+stime; a clock tick is $((1000 / clk_tck)) ms, so one 10 s reading moves in steps of $(awk -v hz="$clk_tck" 'BEGIN { print 100 / hz / 10 }')%."
