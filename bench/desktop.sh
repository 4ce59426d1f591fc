#!/usr/bin/env bash
# The game on the desktops players have, side by side:
#   start-up  exec to the window's first paint (the game's own ZENKORA_TRACE, on the
#             same CLOCK_MONOTONIC as the exec stamp), and VmRSS 5 s later, on X11
#             (Xvfb), XWayland and native Wayland (both on a headless weston), with the
#             PulseAudio daemon playing the title music into a null sink;
#   cue       a click on はじめ to the game music heard in the null sink's monitor (read
#             live with --latency-msec=20, 10 ms pieces; the title music replaced by
#             silence in the player's folder so that the onset is the cue's), on the
#             PulseAudio daemon and on PipeWire's pulse server.
# Medians of RUNS (default 11) alternating runs. Not a test: run it on a quiet machine.
#
#   bench/desktop.sh [RUNS] [ZENKORA]     (ZENKORA: default build/ui/zenkora)
#
# Needs what the end-to-end tests need (tests/e2e/lib.sh starts and stops every server),
# python3 for the clock, and xwayland for the XWayland row (left out without it).
#
# Measured on the 2-core development machine while other builds ran (load 5.4), 11 runs:
#                  start-up ms   VmRSS MB
#   X11 (Xvfb)          95          36.2
#   XWayland           116          36.2
#   Wayland            225          87.4   (Qt's EGL client buffers, needed for its title bar)
#   cue to sound: PulseAudio 28 ms, PipeWire 57 ms (the recorder's 20 ms included)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-11}
zenkora=${2:-$root/build/ui/zenkora}
command -v python3 >/dev/null || { echo "desktop.sh: needs python3" >&2; exit 2; }
set -- "$zenkora" "$root/assets"
. "$root/tests/e2e/lib.sh"
for tool in weston parec sox; do command -v $tool >/dev/null || { echo "desktop.sh: needs $tool" >&2; exit 2; }; done

probe() {
    python3 - "$@" <<'PY'
import os, subprocess, sys, threading, time
mode = sys.argv[1]
if mode == "startup":  # TRACE CMD...: ms to the first paint, then MB resident 5 s after exec
    trace = sys.argv[2]
    open(trace, "w").close()
    t0 = time.monotonic_ns() // 1000
    p = subprocess.Popen(sys.argv[3:], stderr=subprocess.DEVNULL, cwd="/")
    painted = None
    while painted is None and time.monotonic_ns() // 1000 - t0 < 20_000_000 and p.poll() is None:
        for line in open(trace):
            if line.startswith("paint "):
                painted = int(line.split()[2])
                break
        time.sleep(0.002)
    time.sleep(max(0, t0 / 1e6 + 5 - time.monotonic()))
    rss = next((int(l.split()[1]) for l in open(f"/proc/{p.pid}/status") if l.startswith("VmRSS:")), 0)
    p.terminate(); p.wait()
    print(f"{(painted - t0) / 1000:.1f} {rss / 1024:.1f}" if painted else "- -")
else:  # cue: ms from `xdotool click 1` to the first loud 10 ms in the monitor
    rec = subprocess.Popen(["parec", "--latency-msec=20", "--device=null.monitor", "--raw",
                            "--format=s16le", "--channels=1", "--rate=8000"], stdout=subprocess.PIPE)
    loud = []
    def listen():
        while True:
            b = rec.stdout.read(160)
            if len(b) < 160:
                return
            s = memoryview(b).cast("h")
            if max(abs(v) for v in s) > 1600:
                loud.append(time.monotonic())
    threading.Thread(target=listen, daemon=True).start()
    time.sleep(1.5)
    loud.clear()
    t = time.monotonic()
    subprocess.run(["xdotool", "click", "1"])
    while not loud and time.monotonic() - t < 5:
        time.sleep(0.005)
    rec.terminate()
    print(f"{(loud[0] - t) * 1000:.0f}" if loud else "-")
PY
}
median() { sort -n | awk '$1 != "-" { a[n++] = $1 } END { if (n) print a[int((n - 1) / 2)]; else print "-" }'; }

export ZENKORA_TRACE=$work/trace ZENKORA_TRACE_FLUSH=1
start_pulse
start_weston bench --backend=headless-backend.so --xwayland
xwayland=""
if command -v Xwayland >/dev/null; then
    for _ in $(seq 100); do
        xwayland=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/weston-bench.log")
        [ -n "$xwayland" ] && break
        sleep 0.05
    done
fi
x11() { probe startup "$ZENKORA_TRACE" "$zenkora"; }
xw() { DISPLAY=$xwayland WAYLAND_DISPLAY=bench probe startup "$ZENKORA_TRACE" "$zenkora"; }
wl() { DISPLAY= WAYLAND_DISPLAY=bench QT_QPA_PLATFORM=wayland probe startup "$ZENKORA_TRACE" "$zenkora"; }
kinds=(x11 wl)
[ -n "$xwayland" ] && kinds=(x11 xw wl)
for k in "${kinds[@]}"; do $k >/dev/null; done  # warm the caches, and XWayland
for _ in $(seq "$runs"); do
    for k in "${kinds[@]}"; do $k >>"$work/$k"; done
done
unset ZENKORA_TRACE

# The cue: silence for the title, a loud game music, the button under the pointer.
mkdir -p "$player"
sox -n -r 22050 -c 1 "$player/open.wav" trim 0 1
sox -n -r 22050 -c 1 "$player/game.wav" synth 2 sine 440 vol 0.5
cue() {
    local w r
    launch
    w=$(window 'Zenkora Ver\. 1' 10) || fail "no window"
    xdotool mousemove --window "$w" 468 368
    r=$(probe cue)
    stop_game
    echo "$r"
}
for _ in $(seq "$runs"); do cue >>"$work/pulse"; done
kill "$pulse" && wait "$pulse" 2>/dev/null
start_pipewire
for _ in $(seq "$runs"); do cue >>"$work/pipewire"; done

echo "Zenkora on the desktops: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), medians of $runs runs"
printf '  %-12s %12s %10s\n' "" "start-up ms" "VmRSS MB"
for k in "${kinds[@]}"; do
    printf '  %-12s %12s %10s\n' "$(case $k in x11) echo "X11 (Xvfb)" ;; xw) echo XWayland ;; wl) echo Wayland ;; esac)" \
        "$(cut -d' ' -f1 "$work/$k" | median)" "$(cut -d' ' -f2 "$work/$k" | median)"
done
[ -n "$xwayland" ] || echo "  (no XWayland: the xwayland package is not installed)"
echo "  cue to sound: PulseAudio $(median <"$work/pulse") ms, PipeWire $(median <"$work/pipewire") ms"
