#!/usr/bin/env bash
# The game without working sound plays exactly as with it.
#   no-device:    no PulseAudio server at all, SDL_AUDIODRIVER not set, an empty
#                 runtime folder: the game starts, plays a seeded game to its
#                 game-over box and goes back to idle, without a crash.
#   broken-files: game.wav deleted and bom.wav full of garbage: a seeded game with
#                 two or more bombs going off plays through to its game-over box, no crash, no hang.
# The pilot checks every step of the game on the screen against the replay, so a
# bomb that did not go off the way the rules say would show as a mismatch.
#
#   sound_faults.sh ZENKORA PILOT ASSETS_DIR no-device|broken-files
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: sound_faults.sh ZENKORA PILOT ASSETS_DIR no-device|broken-files}
pilot=${2:?}
assets=${3:?}
mode=${4:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import convert compare
e2e_setup "$mode"
e2e_start_x

game=$work/game
e2e_game_dir "$game"
case $mode in
no-device)
    # Nobody may start a sound server for the game either.
    printf 'autospawn = no\n' >"$work/client.conf"
    ZK_ENV="-u SDL_AUDIODRIVER -u PULSE_SERVER PULSE_CLIENTCONFIG=$work/client.conf"
    goal=fast
    ;;
broken-files)
    rm "$game/game.wav"
    head -c 20000 /dev/urandom >"$game/bom.wav"
    ZK_ENV="SDL_AUDIODRIVER=dummy"
    goal=bomb
    ;;
*)
    e2e_fail "unknown mode $mode"
    ;;
esac

seed=$("$pilot" pick --goal "$goal" --from 1 --to 60 2>>"$work/pilot-pick.log") || e2e_fail "no seed"
t0=$(e2e_ms)
e2e_launch "$game" --seed "$seed"
e2e_main_window 10
wid=$WID
e2e_log "window after $(($(e2e_ms) - t0)) ms"
e2e_well_empty "$wid" || e2e_fail "the idle well is not empty"

t0=$(e2e_ms)
e2e_play "$wid" "$seed" "$goal"
box=$(e2e_wait_window '^ゲームオーバー$' 30 "$GAME_PID") || e2e_fail "no game-over box"
e2e_log "seed $seed: game over after $((($(e2e_ms) - t0) / 1000)) s; $PLAN"
if [ "$FOLLOWED" = 1 ]; then
    e2e_log "every step of the game matched the replay, $(e2e_plan_value explosions) explosion(s) included"
fi
if [ "$mode" = broken-files ] && [ "$FOLLOWED" = 1 ]; then
    [ "$(e2e_plan_value explosions)" -ge 2 ] || e2e_fail "the game had fewer than two explosions"
fi
sleep 0.2
import -window root "$work/shots/game-over.png"
e2e_answer "$box"
e2e_wait_unmapped '^ゲームオーバー$' 5 || e2e_fail "Return did not dismiss the game-over box"
e2e_well_empty "$wid" || e2e_fail "after the game the well is not empty"
e2e_lane_moves "$wid" || e2e_fail "after the game the UFO does not fly"
kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended"
e2e_log "idle again after the game"

if [ "$mode" = no-device ] && [ -e "$XDG_RUNTIME_DIR/pulse/native" ]; then
    e2e_fail "a sound server was started for the game"
fi
if grep -Eiq 'segmentation|aborted|core dumped|runtime error' "$work/game.log"; then
    e2e_fail "the program reported a crash: $(grep -Ei 'segmentation|aborted|core dumped|runtime error' "$work/game.log")"
fi
e2e_log "PASS"
exit 0
