#!/usr/bin/env bash
# Sound on the real program, through a private PulseAudio with a null sink: the title
# music plays into the sink and is heard in its monitor; after the server is killed the game
# goes on, and はじめ still starts a game.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
for tool in parec sox; do command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }; done
start_pulse
launch
w=$(window 'Zenkora Ver\. 1') || fail "no window"
# A stream of the game's plays into the sink, and what the sink's monitor then records
# is not silence.
stream() { [ -n "$(pactl list short sink-inputs)" ]; }
wait_for stream || fail "no sound"
peak=$(peak 2)
loud "$peak" || fail "the title music is silent (peak ${peak:-none})"

kill "$pulse" && wait "$pulse" 2>/dev/null
button() { import -window "$w" -crop 137x33+400+352 +repage "$work/$1.png"; }
button idle
xdotool mousemove --window "$w" 468 368 click 1
changed() { button playing && [ "$(compare -metric AE "$work/idle.png" "$work/playing.png" null: 2>&1)" != 0 ]; }
wait_for changed || fail "はじめ started no game"
kill -0 "$game" || fail "the game ended without its server"
echo "PASS (title music peak $peak)"
