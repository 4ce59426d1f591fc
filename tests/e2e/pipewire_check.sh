#!/usr/bin/env bash
# Sound on PipeWire's pulse server, with a null sink of PipeWire's: the title music is
# heard, the mixer sees the stream as the game's (role, icon), and after the pulse server
# is killed and started again the music comes back within a few seconds with no new cue,
# which stderr says once.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
for tool in parec sox; do command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }; done
start_pipewire
launch
window 'Zenkora Ver\. 1' >/dev/null || fail "no window"
_playing() { [ -n "$(pactl list short sink-inputs)" ]; }
wait_for _playing || fail "no stream of the game's"
pactl list sink-inputs >"$work/inputs"
grep -q 'media.role = "game"' "$work/inputs" && grep -q 'application.icon_name = "io.github.zenkora.Zenkora"' "$work/inputs" ||
    fail "the stream is not shown as the game's: $(cat "$work/inputs")"
p=$(peak 2)
loud "$p" || fail "the title music is silent (peak ${p:-none})"

kill "$pulse" && wait "$pulse" 2>/dev/null
start_pipewire_pulse
# Back by itself, however slowly a busy machine lets it come: heard in one of the next
# few seconds, with no cue asked for meanwhile.
for _ in 1 2 3 4 5; do p2=$(peak 2); loud "$p2" && break; done
loud "$p2" || fail "the music did not come back after the pulse server did (peak ${p2:-none})"
[ "$(grep -c 'sound is back' "$work/game.log")" = 1 ] || fail "stderr did not say once that sound is back"
kill -0 "$game" || fail "the game ended"
echo "PASS (title music peak $p, after the restart $p2)"
