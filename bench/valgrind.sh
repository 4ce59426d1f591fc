#!/usr/bin/env bash
# The real game under valgrind's memcheck (--leak-check=full) in a private Xvfb, its
# sounds going to a private PulseAudio server's null sink as on a desktop (silent,
# with no server, when pulseaudio is not installed): start-up, a game (start, keys, a
# few blocks) and quitting
# through おしまい and the question's default button. Library-internal findings are
# suppressed by bench/valgrind.supp; then every error and every leak left in the log
# is checked for a stack frame in our own sources (game/, ui/, platform/, persist/,
# sound/). Prints the summary numbers; exit 0 when none of them is ours.
#
#   bench/valgrind.sh [--binary PATH] [--keep]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
binary=$root/build/ui/zenkora
keep=no
while [ $# -gt 0 ]; do
    case $1 in
    --binary) binary=$2; shift 2 ;;
    --keep) keep=yes; shift ;;
    -h | --help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "valgrind.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
for tool in valgrind Xvfb cmake; do
    command -v "$tool" >/dev/null || { echo "valgrind.sh: $tool is missing (bench/install-deps.sh)" >&2; exit 2; }
done
if [ ! -x "$binary" ]; then
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
    cmake --build "$root/build" --target zenkora >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-valgrind.XXXXXX")
xvfb_pid=""
pulse_pid=""
vg_pid=""
stop_pid() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
cleanup() {
    stop_pid "$vg_pid"
    stop_pid "$pulse_pid"
    stop_pid "$xvfb_pid"
    if [ "$keep" = yes ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

cmake -S "$root/bench/tools" -B "$work/tools" -G Ninja >/dev/null 2>&1 || cmake -S "$root/bench/tools" -B "$work/tools" >/dev/null
cmake --build "$work/tools" --target xprobe >"$work/tools.log" 2>&1 || { cat "$work/tools.log"; exit 2; }
xprobe=$work/tools/xprobe

mkdir -p "$work/game" "$work/home" "$work/run"
chmod 700 "$work/run"
cp "$root"/assets/* "$work/game/"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_HOME=$work/home/.local/share XDG_CACHE_HOME=$work/home/.cache
unset ZENKORA_TRACE QT_QPA_PLATFORM PULSE_SERVER PULSE_SINK

if command -v pulseaudio >/dev/null && command -v pactl >/dev/null; then
    export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
    pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --use-pid-file=no \
        --load=module-null-sink --load=module-native-protocol-unix --log-target=stderr 2>"$work/pulse.log" &
    pulse_pid=$!
    for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl info >/dev/null 2>&1 || { echo "valgrind.sh: PulseAudio did not start" >&2; exit 1; }
    sound="PulseAudio null sink"
else
    sound="no sound server"
fi

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

title="Zenkora Ver. 1"
(cd "$work/game" && ZENKORA_TRACE=$work/trace exec valgrind --tool=memcheck --leak-check=full \
    --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
    --num-callers=50 --suppressions="$root/bench/valgrind.supp" --log-file="$work/memcheck.%p.log" \
    "$binary" --seed 11) >"$work/game.out" 2>&1 &
vg_pid=$!
# The subshell became valgrind, which runs the game in the same process. Processes
# the game forks without exec (D-Bus autolaunch) write logs of their own.
log=$work/memcheck.$vg_pid.log

step() { echo "-- $*"; }
step "start-up"
"$xprobe" wait --title "$title" --timeout-ms 120000 >/dev/null
sleep 3
step "a game: はじめ, then arrow keys through a few blocks"
"$xprobe" click --title "$title" 468 368
for round in 1 2 3 4 5 6; do
    sleep 2.5
    for key in Left Left Right Down; do
        "$xprobe" key --title "$title" "$key"
        sleep 0.4
    done
    [ "$round" = 3 ] && "$xprobe" key --title "$title" Right
done
sleep 2
step "quit: おしまい, then Return for the default はい"
"$xprobe" click --title "$title" 468 416
"$xprobe" wait --title "おしまい" --timeout-ms 60000 >/dev/null ||
    { echo "valgrind.sh: the quit question did not appear" >&2; exit 1; }
# Slow under valgrind: press again until the question is gone.
for _ in $(seq 20); do
    sleep 3
    "$xprobe" key --title "おしまい" Return --timeout-ms 1000 >/dev/null 2>&1 || break
done
# The leak check at exit takes a while under valgrind.
for _ in $(seq 1500); do kill -0 "$vg_pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$vg_pid" 2>/dev/null; then
    echo "valgrind.sh: the game did not end after the quit" >&2
    exit 1
fi
wait "$vg_pid" || true
vg_pid=""

# Our source files, as valgrind names them in stack frames: "(MainWindow.cpp:123)".
ours=$(cd "$root" && find game ui platform persist sound -name '*.cpp' -o -name '*.h' | xargs -n1 basename | sort -u |
    sed 's/[.]/[.]/g' | paste -sd'|')
# One record per error or leak: the lines between two empty "==PID== " lines.
awk -v ours="[(](${ours}):[0-9]+[)]" '
    /^==[0-9]+== *$/ { flush(); next }
    /^==[0-9]+== / { rec = rec $0 "\n"; if ($0 ~ ours) mine = 1; next }
    function flush() {
        if (rec ~ /(Invalid|uninitialised|Conditional jump|Mismatched|overlap|Syscall param|bytes in [0-9,]+ blocks are (definitely|indirectly|possibly) lost)/ && mine) {
            n++; printf "%s\n", rec > "/dev/stderr"
        }
        rec = ""; mine = 0
    }
    END { flush(); print n + 0 }' "$log" >"$work/ours" 2>"$work/ours.txt"
ours_count=$(cat "$work/ours")

summary() { grep -E "$1" "$log" | tail -1 | sed 's/^==[0-9]*== *//'; }
echo
echo "memcheck: $binary, sound to the $sound (log: $([ "$keep" = yes ] && echo "$log" || echo "removed; --keep keeps it"))"
echo "  $(summary 'ERROR SUMMARY')"
echo "  $(summary 'definitely lost:')"
echo "  $(summary 'indirectly lost:')"
echo "  $(summary 'possibly lost:')"
echo "  $(summary 'still reachable:')"
echo "  $(summary '^==[0-9]+== +suppressed:')"
echo "  played: $(grep -c '^ufo ' "$work/trace" 2>/dev/null) UFO ticks, $(grep -c '^game ' "$work/trace" 2>/dev/null) block steps, $(grep -c '^key ' "$work/trace" 2>/dev/null) keys taken"
if [ "$ours_count" -eq 0 ]; then
    echo "no error and no leak from our own code"
    exit 0
fi
echo "$ours_count error(s) or leak(s) with our code on the stack:"
cat "$work/ours.txt"
exit 1
