#!/usr/bin/env bash
# What the player hears, through a private PulseAudio server's null sink: the title
# music right after start-up, the game's sounds during a seeded game, silence while
# the game-over box is open, and the title music again once it is dismissed.
#
# The sink's monitor is recorded live as raw samples; the recording's size at a
# moment marks where that moment lies in it, so no clock needs to be matched.
#
#   sound_check.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: sound_check.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import convert compare pulseaudio pactl parec
e2e_setup sound
e2e_start_x

rate=44100
bps=$((rate * 2)) # mono s16le
threshold_db=-45  # a 50 ms window quieter than this counts as silence

export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
unset PULSE_COOKIE

# As root it warns that it is not meant to run as root; that is harmless here.
# Without shared memory it also shuts down cleanly when its clients are killed.
pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --use-pid-file=no --disable-shm=yes \
    --load=module-null-sink --load=module-native-protocol-unix \
    --log-target=stderr 2>"$work/pulse.log" &
E2E_PIDS+=($!)
pa_pid=$!
ready=no
for _ in $(seq 100); do
    kill -0 "$pa_pid" 2>/dev/null || break
    if pactl info >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
done
[ "$ready" = yes ] || e2e_fail "the private PulseAudio server did not start"

# A low-latency reader on the monitor also keeps the idle null sink on a short
# cycle, so the game's stream is not starved at its start.
rec=$work/rec.raw
parec --latency-msec=20 --device=null.monitor --rate=$rate --channels=1 --format=s16le >"$rec" 2>"$work/parec.log" &
E2E_PIDS+=($!)
rec_pid=$!

size() { stat -c %s "$rec" 2>/dev/null || echo 0; }

# wait_bytes N SECONDS: until the recording holds N bytes.
wait_bytes() {
    local want=$1 limit=$(($2 * 1000)) start
    start=$(e2e_ms)
    while [ "$(size)" -lt "$want" ]; do
        kill -0 "$rec_pid" 2>/dev/null || e2e_fail "the recorder stopped"
        [ $(($(e2e_ms) - start)) -lt "$limit" ] || e2e_fail "the recording does not grow"
        sleep 0.05
    done
}

# The first second of a recording gets lost; start the game well after it.
wait_bytes $((bps * 3 / 2)) 10

# level FROM_BYTE SECONDS: "windows loud rms_db min_db max_db" of that stretch.
level() {
    "$pilot" level "$rec" --from "$1" --to $(($1 + $(awk -v s="$2" -v b=$bps 'BEGIN { printf "%d", s * b }'))) \
        --window-ms 50 --threshold-db "$threshold_db"
}

# expect_sound LABEL FROM_BYTE SECONDS: at least 80% of the windows are loud.
expect_sound() {
    local w l rms mn mx
    read -r w l rms mn mx < <(level "$2" "$3")
    e2e_log "$1: $l of $w windows loud, level $rms dB (windows $mn .. $mx dB)"
    [ "$w" -gt 0 ] && [ $((l * 100)) -ge $((w * 80)) ] || e2e_fail "$1: expected sound"
}

# expect_silence LABEL FROM_BYTE SECONDS: no window is loud.
expect_silence() {
    local w l rms mn mx
    read -r w l rms mn mx < <(level "$2" "$3")
    e2e_log "$1: $l of $w windows loud, level $rms dB (loudest window $mx dB)"
    [ "$w" -gt 0 ] && [ "$l" -eq 0 ] || e2e_fail "$1: expected silence"
}

game=$work/game
e2e_game_dir "$game"
seed=$("$pilot" pick --goal fast --from 1 --to 60 2>>"$work/pilot-pick.log") || e2e_fail "no seed"

before=$(size)
e2e_launch "$game" --seed "$seed"
e2e_main_window 10
wid=$WID
at_window=$(size)
e2e_log "window after $(((at_window - before) * 1000 / bps)) ms of recording"

# Title music: from 0.2 s after the window showed, for 1.2 s.
wait_bytes $((at_window + bps * 3 / 2)) 10
expect_sound "title music after start-up" $((at_window + bps / 5)) 1.2

at_start=$(size)
e2e_play "$wid" "$seed" fast
box=$(e2e_wait_window '^ゲームオーバー$' 30 "$GAME_PID") || e2e_fail "no game-over box"
at_box=$(size)
game_s=$(awk -v a="$at_start" -v b="$at_box" -v r=$bps 'BEGIN { printf "%.1f", (b - a) / r }')
e2e_log "game over after ${game_s} s of play; $PLAN"
# The game's own sounds: music, alarm, explosions; mostly sound, whatever plays.
read -r w l rms mn mx < <(level $((at_start + bps)) "$(awk -v s="$game_s" 'BEGIN { print s - 1.5 }')")
e2e_log "during the game: $l of $w windows loud, level $rms dB"
[ $((l * 100)) -ge $((w * 70)) ] || e2e_fail "the game was mostly silent"

# Keep the box open for two seconds, then dismiss it.
t_box=$(e2e_ms)
wait_bytes $((at_box + bps * 2)) 10
at_answer=$(size)
t_answer=$(e2e_ms)
# The recording must be live: its growth matches the wall clock between the two
# marks, or its sizes could not stand for moments.
rec_ms=$(((at_answer - at_box) * 1000 / bps))
wall_ms=$((t_answer - t_box))
e2e_log "box open: ${wall_ms} ms on the wall clock, ${rec_ms} ms of recording"
[ $((rec_ms - wall_ms)) -le 150 ] && [ $((wall_ms - rec_ms)) -le 150 ] ||
    e2e_fail "the recording does not keep pace with the clock (${rec_ms} ms recorded in ${wall_ms} ms)"
e2e_answer "$box"
e2e_wait_unmapped '^ゲームオーバー$' 5 || e2e_fail "Return did not dismiss the game-over box"

# Silence from 0.3 s after the box showed (what was already on its way to the
# sink when the game stopped the sound) until Return.
expect_silence "game-over box open" $((at_box + bps * 3 / 10)) \
    "$(awk -v a="$at_box" -v b="$at_answer" -v r=$bps 'BEGIN { printf "%.2f", (b - a) / r - 0.35 }')"

# Title music again: from 0.4 s after Return, for 1.2 s.
wait_bytes $((at_answer + bps * 2)) 10
expect_sound "title music after the box" $((at_answer + bps * 2 / 5)) 1.2

e2e_lane_moves "$wid" || e2e_fail "after the game the UFO does not fly"
kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended"
e2e_log "PASS"
exit 0
