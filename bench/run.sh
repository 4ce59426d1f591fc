#!/usr/bin/env bash
# The game's benchmarks, each beside a floor: a minimal Qt Widgets window of the game's
# size with a 100 ms timer that repaints a small square (bench/floor/), measured the
# same way on the same machine. Prints a table with each figure's target and whether it
# is met, then runs bench/desktop.sh when there is one. Not a test: the figures depend on
# the machine, so run it on a quiet one (the load average is printed).
#
#   bench/run.sh [--runs N] [--binary PATH] [--quick]
#
#   --runs N       runs per figure, the median is reported (default 5; start-up: 21)
#   --binary PATH  the game (default: built here, in build-bench/, with the floor and probe)
#   --quick        3 runs and shorter timer phases
#
# Everything runs in a private Xvfb and a private PulseAudio with a null sink, with a
# home of its own; each is stopped by its PID at the end.
#
#   start-up   bench_xprobe starts the program and waits, with XDamage, until its window
#              is drawn over its whole area; from just before the spawn. Floor and game
#              alternate after one warm-up each. Beside it, for reading: the quartiles
#              and the main thread's CPU time by then.
#   memory     VmRSS after 5 s idle (the title music playing into the null sink).
#   CPU        utime+stime of all threads over 10 s: idle after the memory reading;
#              in play after a click on はじめ (the blocks fall by themselves).
#   timers     from ZENKORA_TRACE: UFO_Timer idle, GameTimer in play (the game-over box
#              answered and the next game started). An interval lies between two ticks
#              of one timer with no tick of the other between them. Lost: over 1.5
#              periods; doubled: under 0.5.
#   repaint    from the same trace: playfield pixels painted per UFO tick, idle.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib.sh"

runs=5 startup_runs=21 binary="" ufo_seconds=60 game_intervals=300
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --binary) binary=$(realpath "$2"); shift 2 ;;
    --quick) runs=3; startup_runs=9; ufo_seconds=30; game_intervals=150; shift ;;
    -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "bench/run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

BENCH_PACKAGES=(xvfb xdotool pulseaudio pulseaudio-utils libx11-dev libxdamage-dev)
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build=$root/build-bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DZENKORA_BENCH=ON >/dev/null
targets=(bench_floor bench_xprobe)
[ -n "$binary" ] || targets+=(zenkora)
cmake --build "$build" --target "${targets[@]}" -j "$(jobs)" >/dev/null
floor=$build/bench/floor/bench_floor xprobe=$build/bench/xprobe/bench_xprobe
binary=${binary:-$build/ui/zenkora}
title="Zenkora Ver. 1" floor_title="zenkora-floor"

work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-bench.XXXXXX")
pids=()
stop() { [ -z "${1:-}" ] || { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; } || true; }
cleanup() { for p in "${pids[@]}"; do stop "$p"; done; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

mkdir -p "$work/home" "$work/run" && chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
unset ZENKORA_TRACE ZENKORA_TRACE_FLUSH QT_QPA_PLATFORM WAYLAND_DISPLAY
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --use-pid-file=no \
    --load=module-null-sink --load=module-native-protocol-unix 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && pactl info >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
pactl info >/dev/null 2>&1 || { echo "bench/run.sh: no X server or no PulseAudio" >&2; exit 1; }

log() { printf '== %s\n' "$*" >&2; }
median() { sort -n | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
quartiles() { sort -n | awk '{ a[NR] = $1 } END { if (NR == 0) print "nan"; else printf "%s-%s\n", a[int((NR + 3) / 4)], a[int((3 * NR + 3) / 4)] }'; }
launch() { "$@" >>"$work/programs.log" 2>&1 & last=$!; pids+=("$last"); }
window() { xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# CPU of PID over SECONDS, in percent of one core.
cpu_over() {
    local a b t0 t1
    a=$(cpu_ticks "$1") t0=$(date +%s%N); sleep "$2"; b=$(cpu_ticks "$1") t1=$(date +%s%N)
    awk -v a="$a" -v b="$b" -v hz="$(getconf CLK_TCK)" -v ns=$((t1 - t0)) 'BEGIN { printf "%.2f\n", (b - a) / hz * 1e9 / ns * 100 }'
}
start_game() { xdotool mousemove --window "$1" 468 368 click 1; }
# Answers a game-over box, if one is up, and starts the next game in window $1.
keep_playing() {
    local box
    box=$(xdotool search --onlyvisible --name '^ゲームオーバー$' 2>/dev/null | head -n1) || return 0
    [ -n "$box" ] || return 0
    xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
    sleep 0.5
    start_game "$1"
}

log "start-up: $startup_runs runs each, alternating, after one warm-up"
startup() { "$xprobe" "$@" | sed -n 's/.*painted_us=\([0-9]*\) main_cpu_us=\([0-9-]*\).*/\1 \2/p'; }
startup "$floor_title" "$floor" >/dev/null
startup "$title" "$binary" >/dev/null
for _ in $(seq "$startup_runs"); do
    startup "$floor_title" "$floor" >>"$work/startup.floor"
    startup "$title" "$binary" >>"$work/startup.game"
done
ms() { awk '{ printf "%.1f\n", $1 / 1000 }' "$1"; }
cpu_ms() { awk '$2 >= 0 { printf "%.1f\n", $2 / 1000 }' "$1"; }

log "memory after 5 s idle, then CPU over 10 s idle, in play: $runs runs each"
for _ in $(seq "$runs"); do
    for kind in floor game; do
        if [ $kind = floor ]; then launch "$floor"; name=$floor_title; else launch "$binary"; name=$title; fi
        w=$(window "$name"); sleep 5
        awk '/^VmRSS:/ { print $2 / 1024 }' "/proc/$last/status" >>"$work/rss.$kind"
        cpu_over "$last" 10 >>"$work/cpu.$kind"
        if [ $kind = game ]; then
            start_game "$w"; sleep 1.5  # the first UFO is out
            cpu_over "$last" 10 >>"$work/cpu.play"
        fi
        stop "$last"
    done
done

log "timers: the floor at 100 and 400 ms, the game idle ${ufo_seconds}s, then in play for $game_intervals GameTimer intervals"
export ZENKORA_TRACE_FLUSH=1
ZENKORA_TRACE=$work/floor100.trace launch "$floor" --title floor-100; f100=$last
ZENKORA_TRACE=$work/floor400.trace launch "$floor" --title floor-400 --interval 400 --tick-name game; f400=$last
trace=$work/game.trace
ZENKORA_TRACE=$trace launch "$binary"; game=$last
w=$(window "$title"); sleep 1
idle_from=$(awk '/^ufo / { print $2; exit }' "$trace")
sleep "$ufo_seconds"
stop "$f100"
play_from=$(awk '/^ufo / { t = $2 } END { print t }' "$trace")
start_game "$w"
for _ in $(seq 1200); do
    [ "$(awk -v from="$play_from" '$2 >= from && /^ufo / { last = "" } $2 >= from && /^game / { if (last == "game") n++; last = "game" } END { print n + 0 }' "$trace")" -ge "$game_intervals" ] && break
    keep_playing "$w"; sleep 1
done
stop "$game"; stop "$f400"

# "count median_ms p99_deviation_ms lost doubled" of timer NAME's intervals in FILE
# between two times, broken by any tick of timer OTHER.
intervals() {
    awk -v name="$2" -v other="$3" -v from="$5" -v to="$6" '$1 != name && $1 != other || $2 < from || $2 > to { next }
        $1 == other { prev = ""; next } { if (prev != "") print ($2 - prev) / 1000; prev = $2 }' "$1" >"$work/iv"
    printf '%s %s %s %s %s\n' "$(wc -l <"$work/iv")" "$(median <"$work/iv")" \
        "$(awk -v p="$4" '{ d = $1 - p; print d < 0 ? -d : d }' "$work/iv" | sort -n | awk '{ a[NR] = $1 } END { i = int(NR * 0.99 + 0.999); if (i > NR) i = NR; print NR ? a[i] : "nan" }')" \
        "$(awk -v p="$4" '$1 > 1.5 * p' "$work/iv" | wc -l)" "$(awk -v p="$4" '$1 < 0.5 * p' "$work/iv" | wc -l)"
}
end=99999999999999
read -r ufo_n ufo_med ufo_p99 ufo_lost ufo_dbl < <(intervals "$trace" ufo game 100 "$idle_from" "$play_from")
read -r game_n game_med game_p99 game_lost game_dbl < <(intervals "$trace" game ufo 400 "$play_from" $end)
read -r _ f100_med f100_p99 f100_lost f100_dbl < <(intervals "$work/floor100.trace" ufo none 100 0 $end)
read -r _ f400_med f400_p99 f400_lost f400_dbl < <(intervals "$work/floor400.trace" game none 400 0 $end)
# Playfield pixels painted after each idle UFO tick, up to the next tick.
repaint() {
    awk -v from="$2" -v to="$3" -v field="$4" '/^(ufo|game) / { if (open) print px; open = ($1 == "ufo" && $2 >= from && $2 < to); px = 0; next }
        /^paint / && $4 == field { px += $2 }' "$1"
}
rp_game=$(repaint "$trace" "$idle_from" "$play_from" picSpace | median)
rp_game_max=$(repaint "$trace" "$idle_from" "$play_from" picSpace | sort -n | tail -1)
rp_floor=$(repaint "$work/floor100.trace" 0 $end floor | median)

verdict() { case $1 in *nan* | *"  "*) echo MISS ;; *) awk "BEGIN { exit !($1) }" && echo pass || echo MISS ;; esac; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f x", a / b }'; }
row() { printf '%-34s %14s %14s  %-24s %s\n' "$@"; }
su_floor=$(ms "$work/startup.floor" | median) su_game=$(ms "$work/startup.game" | median)
rss_floor=$(median <"$work/rss.floor") rss_game=$(median <"$work/rss.game")
cpu_floor=$(median <"$work/cpu.floor") cpu_idle=$(median <"$work/cpu.game") cpu_play=$(median <"$work/cpu.play")
echo
echo "Zenkora benchmarks on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs runs, $startup_runs for start-up"
echo "game: $binary"
echo
row figure floor zenkora target result
row "start-up: exec to painted (ms)" "$su_floor" "$su_game" "<= 1.5 x floor" "$(verdict "$su_game <= 1.5 * $su_floor") ($(ratio "$su_game" "$su_floor"))"
row "  quartiles (ms)" "$(ms "$work/startup.floor" | quartiles)" "$(ms "$work/startup.game" | quartiles)" - -
row "  main thread's CPU by then (ms)" "$(cpu_ms "$work/startup.floor" | median)" "$(cpu_ms "$work/startup.game" | median)" - -
row "memory: RSS after 5 s idle (MB)" "$(printf %.1f "$rss_floor")" "$(printf %.1f "$rss_game")" "<= 1.4 x floor" "$(verdict "$rss_game <= 1.4 * $rss_floor") ($(ratio "$rss_game" "$rss_floor"))"
row "CPU idle, 10 s (% of a core)" "$cpu_floor" "$cpu_idle" "<= 0.6" "$(verdict "$cpu_idle <= 0.6")"
row "CPU in play, 10 s (% of a core)" "$cpu_floor (idle)" "$cpu_play" "<= 0.6" "$(verdict "$cpu_play <= 0.6")"
row "UFO_Timer median period (ms)" "$f100_med" "$ufo_med" "100 +- 1" "$(verdict "$ufo_med >= 99 && $ufo_med <= 101")"
row "UFO_Timer p99 deviation (ms)" "$f100_p99" "$ufo_p99" "<= 5" "$(verdict "$ufo_p99 <= 5")"
row "UFO_Timer lost/doubled ($ufo_n)" "$f100_lost/$f100_dbl" "$ufo_lost/$ufo_dbl" "0/0" "$(verdict "$ufo_lost + $ufo_dbl == 0")"
row "GameTimer median period (ms)" "$f400_med" "$game_med" "400 +- 1" "$(verdict "$game_med >= 399 && $game_med <= 401")"
row "GameTimer p99 deviation (ms)" "$f400_p99" "$game_p99" "<= 5" "$(verdict "$game_p99 <= 5")"
row "GameTimer lost/doubled ($game_n)" "$f400_lost/$f400_dbl" "$game_lost/$game_dbl" "0/0" "$(verdict "$game_lost + $game_dbl == 0 && $game_n >= $game_intervals")"
row "repaint px per idle UFO tick" "$rp_floor" "$rp_game" "<= 15552 (162x96)" "$(verdict "$rp_game_max <= 15552") (max $rp_game_max)"

if [ -x "$root/bench/desktop.sh" ]; then
    echo
    "$root/bench/desktop.sh"
fi
