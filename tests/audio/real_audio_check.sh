#!/usr/bin/env bash
# Plays the game's four sounds through its own sound layer into the null sink of a
# private PulseAudio server, records the sink and checks that what came out is
# sound, at the right level, for the right time.
#
#   real_audio_check.sh PLAYER ASSETS_DIR [LOOP_SECONDS]
#
# PLAYER is zenkora_play_sound. Exit: 0 pass, 1 fail, 77 skip (tools not installed).
# Needs no sound card and no running server; touches nothing outside its temp folder.

set -u

player=${1:?usage: real_audio_check.sh PLAYER ASSETS_DIR [LOOP_SECONDS]}
assets=${2:?usage: real_audio_check.sh PLAYER ASSETS_DIR [LOOP_SECONDS]}
loop_s=${3:-3}

window_ms=10        # level is measured over windows this long
threshold_db=-45    # a window quieter than this counts as silence
span_tol_ms=60      # recorded sound vs the same file rendered offline
level_tol_db=3
gap_tol=5           # extra silent windows allowed inside the sound (dropouts)
block_tol_ms=150    # blocking play vs the file's length

for tool in pulseaudio pactl parecord sox soxi od awk timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (needs pulseaudio, pulseaudio-utils, sox)"
        exit 77
    fi
done
if [ ! -x "$player" ]; then
    echo "FAIL: player $player not found"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-realaudio.XXXXXX") || exit 1
pa_pid=""
keep_pid=""
rec_pid=""

stop_pid() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    stop_pid "$rec_pid"
    stop_pid "$keep_pid"
    stop_pid "$pa_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Everything the server and its clients keep goes into the temp folder.
export XDG_RUNTIME_DIR=$work/run
export HOME=$work/home
export XDG_CONFIG_HOME=$work/home/.config
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
unset PULSE_SINK PULSE_SOURCE PULSE_COOKIE
mkdir -m 700 "$XDG_RUNTIME_DIR" "$HOME"

# As root it warns that it is not meant to run as root; that is harmless here.
pulseaudio --daemonize=no --exit-idle-time=-1 --system=false -n --use-pid-file=no \
    --load=module-null-sink --load=module-native-protocol-unix \
    --log-target=stderr 2>"$work/pulse.log" &
pa_pid=$!

ready=no
for _ in $(seq 100); do
    if ! kill -0 "$pa_pid" 2>/dev/null; then
        break
    fi
    if pactl info >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
done
if [ "$ready" != yes ]; then
    echo "FAIL: the private PulseAudio server did not start"
    tail -n 5 "$work/pulse.log"
    exit 1
fi

# The idle null sink renders two seconds at a time, which starves a new stream.
# A low-latency listener on its monitor keeps it on a short cycle for the whole run.
parecord --latency-msec=20 --device=null.monitor --rate=44100 --channels=1 --format=s16le \
    --file-format=wav /dev/null 2>/dev/null &
keep_pid=$!
for _ in $(seq 50); do
    latency=$(pactl list sinks | awk '/^[[:space:]]*Latency:/ { print $2; exit }')
    if [ -n "$latency" ] && [ "$latency" -lt 50000 ]; then
        break
    fi
    sleep 0.1
done

# One line about a mono 44.1 kHz file: total_ms first_ms last_ms span_ms
# silent_windows_inside level_db (RMS over the sounding windows, dB full scale).
measure() {
    sox "$1" -t raw -e signed -b 16 -c 1 -r 44100 - 2>/dev/null | od -An -v -td2 -w2 |
        awk -v win=$((44100 * window_ms / 1000)) -v wms="$window_ms" -v thr="$threshold_db" '
        function close_window() {
            if (n == 0) return
            db = (sum > 0) ? 10 * log(sum / n / (32768 * 32768)) / log(10) : -200
            loud[w] = (db > thr)
            if (loud[w]) { if (first < 0) first = w; last = w; lsum += sum; ln += n }
            w++; sum = 0; n = 0
        }
        BEGIN { first = -1; last = -1; w = 0 }
        { sum += $1 * $1; n++; if (n == win) close_window() }
        END {
            close_window()
            gaps = 0
            for (i = first; first >= 0 && i <= last; i++) if (!loud[i]) gaps++
            level = (ln > 0 && lsum > 0) ? 10 * log(lsum / ln / (32768 * 32768)) / log(10) : -200
            span = (first >= 0) ? (last - first + 1) * wms : 0
            printf "%d %d %d %d %d %.1f\n", w * wms, first * wms, last * wms, span, gaps, level
        }'
}

abs() { echo $(($1 < 0 ? -$1 : $1)); }

# Plays FILE through the player in MODE while recording the sink into OUT; leaves
# the player's output in OUT.txt.
play_recorded() {
    local mode=$1 file=$2 out=$3
    parecord --latency-msec=20 --device=null.monitor --rate=44100 --channels=1 --format=s16le \
        --file-format=wav "$out" 2>/dev/null &
    rec_pid=$!
    sleep 0.5
    if [ "$mode" = loop ]; then
        SDL_AUDIODRIVER=pulseaudio timeout 60 "$player" loop "$file" "$loop_s" >"$out.txt" 2>&1
    else
        SDL_AUDIODRIVER=pulseaudio timeout 60 "$player" once "$file" >"$out.txt" 2>&1
    fi
    sleep 0.5
    stop_pid "$rec_pid"
    rec_pid=""
}

failed=0
printf "%-11s %-5s %8s %9s %9s %6s %13s %5s %8s  %s\n" \
    file mode "length" "expected" recorded diff "level rec/exp" gaps blocked result
for entry in open.wav:loop game.wav:loop danger.wav:loop bom.wav:once; do
    name=${entry%%:*}
    mode=${entry##*:}
    src=$assets/$name
    if [ ! -s "$src" ]; then
        printf "%-11s %-5s %8s %9s %9s %6s %13s %5s %8s  %s\n" "$name" "$mode" - - - - - - - "FAIL (missing)"
        failed=1
        continue
    fi
    length_ms=$(soxi -D "$src" 2>/dev/null | awk '{ printf "%d", $1 * 1000 + 0.5 }')
    if [ -z "$length_ms" ] || [ "$length_ms" -le 0 ]; then
        printf "%-11s %-5s %8s %9s %9s %6s %13s %5s %8s  %s\n" "$name" "$mode" - - - - - - - "FAIL (unreadable)"
        failed=1
        continue
    fi

    # What should come out: the file itself, or as many passes as fill the loop time.
    expected=$work/expected-$name
    if [ "$mode" = loop ]; then
        repeats=$((loop_s * 1000 / length_ms + 1))
        sox "$src" -r 44100 -c 1 -b 16 "$expected" repeat "$repeats" trim 0 "$loop_s" 2>/dev/null
    else
        sox "$src" -r 44100 -c 1 -b 16 "$expected" 2>/dev/null
    fi
    read -r _ _ _ exp_span exp_gaps exp_level < <(measure "$expected")

    rec=$work/rec-$name
    play_recorded "$mode" "$src" "$rec"
    note=""
    # A connection refused once is the server's hiccup, not the game's: try again once.
    if ! grep -q '^driver: pulseaudio$' "$rec.txt"; then
        note=" (retried)"
        play_recorded "$mode" "$src" "$rec"
    fi
    read -r rec_total rec_first rec_last rec_span rec_gaps rec_level < <(measure "$rec")
    blocked=$(awk '/^played: / { print $2 }' "$rec.txt")

    why=""
    grep -q '^driver: pulseaudio$' "$rec.txt" || why="$why not-pulseaudio"
    diff=$((rec_span - exp_span))
    [ "$rec_span" -gt 0 ] || why="$why silent"
    [ "$(abs "$diff")" -le "$span_tol_ms" ] || why="$why length"
    awk -v a="$rec_level" -v b="$exp_level" -v t="$level_tol_db" \
        'BEGIN { d = a - b; exit !(d <= t && d >= -t) }' || why="$why level"
    [ "$rec_gaps" -le $((exp_gaps + gap_tol)) ] || why="$why dropouts"
    # The sound must lie inside the recording, not run off either end.
    if [ "$rec_span" -gt 0 ]; then
        [ "$rec_first" -ge 100 ] || why="$why cut-start"
        [ $((rec_total - rec_last)) -ge 100 ] || why="$why cut-end"
    fi
    if [ "$mode" = once ]; then
        if [ -z "$blocked" ] || [ "$(abs $((blocked - length_ms)))" -gt "$block_tol_ms" ]; then
            why="$why blocking"
        fi
        blocked=${blocked}ms
    else
        blocked="-"
    fi
    if [ -z "$why" ]; then
        result="ok$note"
    else
        result="FAIL:$why$note"
        failed=1
    fi
    printf "%-11s %-5s %6sms %7sms %7sms %4sms %6s/%-6s %5s %8s  %s\n" \
        "$name" "$mode" "$length_ms" "$exp_span" "$rec_span" "$diff" "$rec_level" "$exp_level" \
        "$rec_gaps/$exp_gaps" "$blocked" "$result"
    if [ -n "$why" ]; then
        sed 's/^/    player: /' "$rec.txt"
    fi
done

# Sounds replaced faster than the server makes their streams: every stream but the
# last must go, and that one must go at the stop.
switch_out=$work/switch.txt
SDL_AUDIODRIVER=pulseaudio timeout 60 "$player" switch "$assets/open.wav" "$assets/game.wav" 40 3 \
    >"$switch_out" 2>&1 &
switch_pid=$!
for _ in $(seq 50); do grep -q '^switched:' "$switch_out" && break; sleep 0.1; done
sleep 1.5
during=$(pactl list short sink-inputs | grep -c .)
wait "$switch_pid"
sleep 0.5
after=$(pactl list short sink-inputs | grep -c .)
if grep -q '^driver: pulseaudio$' "$switch_out" && [ "$during" -eq 1 ] && [ "$after" -eq 0 ]; then
    echo "switching 40 times: 1 stream left playing, 0 after the stop: ok"
else
    echo "switching 40 times: $during streams left playing, $after after the stop: FAIL"
    sed 's/^/    player: /' "$switch_out"
    failed=1
fi

# The server goes away in the middle of a loop: the sound layer must neither hang
# nor crash, and a blocking sound still holds the game for its length, in silence.
out=$work/outlive.txt
bom_ms=$(soxi -D "$assets/bom.wav" 2>/dev/null | awk '{ printf "%d", $1 * 1000 + 0.5 }')
SDL_AUDIODRIVER=pulseaudio timeout 60 "$player" outlive "$assets/open.wav" "$assets/bom.wav" 2 >"$out" 2>&1 &
outlive_pid=$!
sleep 1
stop_pid "$keep_pid"
keep_pid=""
stop_pid "$pa_pid"
pa_pid=""
wait "$outlive_pid"
rc=$?
held=$(awk '/^played: / { print $2 }' "$out")
if [ "$rc" -eq 0 ] && grep -q '^driver: pulseaudio$' "$out" && [ -n "$held" ] &&
    [ "$(abs $((held - bom_ms)))" -le "$block_tol_ms" ]; then
    echo "server gone mid-loop: the blocking sound held ${held} ms of ${bom_ms}: ok"
else
    echo "server gone mid-loop: exit $rc, held ${held:-?} ms of ${bom_ms}: FAIL"
    sed 's/^/    player: /' "$out"
    failed=1
fi

if [ "$failed" -ne 0 ]; then
    echo "FAIL"
    exit 1
fi
echo "PASS: all four sounds came out through PulseAudio"
exit 0
