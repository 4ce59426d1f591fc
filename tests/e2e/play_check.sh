#!/usr/bin/env bash
# Two seeded games played with the arrow keys to their game-over box.
#  1. From a high score of 0, a game that ends with a score above 0: afterwards
#     h-score.txt holds exactly the one line for that score.
#  2. From "HighScore=999999", which no game here can beat: the file stays byte for
#     byte what it was.
# Both times: はじめ fills the bottom row with numbers, the box appears, Return
# dismisses it, and the game is idle again (empty well, the UFO flying).
#
#   play_check.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: play_check.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import convert compare
e2e_setup play
e2e_start_x

# check_bottom_row IMAGE: every cell of the bottom row shows a number, not n0.
check_bottom_row() {
    local c ae
    for c in 0 1 2 3 4 5 6 7 8; do
        ae=$(e2e_ae "$1" "$(e2e_cell_x $c)" "$(e2e_cell_y 8)" 33 33 "$assets/n0.bmp")
        [ "$ae" != 0 ] || e2e_fail "bottom row, column $c still shows n0 after はじめ"
    done
}

# play_one LABEL HIGHSCORE_BYTES GOAL: one program run, one game; leaves the
# file's bytes before and after in $work/LABEL.before and $game/h-score.txt.
play_one() {
    local label=$1 bytes=$2 goal=$3 seed t0 t_play box
    game=$work/game-$label
    e2e_game_dir "$game"
    printf '%b' "$bytes" >"$game/h-score.txt"
    cp "$game/h-score.txt" "$work/$label.before"
    seed=$("$pilot" pick --goal "$goal" --from 1 --to 60 2>>"$work/pilot-pick.log") || e2e_fail "no seed for goal $goal"

    ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$game" --seed "$seed"
    e2e_main_window 10
    wid=$WID

    t0=$(e2e_ms)
    e2e_play "$wid" "$seed" "$goal"
    box=$(e2e_wait_window '^ゲームオーバー$' 30 "$GAME_PID") || e2e_fail "no game-over box"
    t_play=$(($(e2e_ms) - t0))
    e2e_log "$label: seed $seed, game over after $((t_play / 1000)).$((t_play % 1000 / 100)) s; $PLAN"
    [ -f "$work/shots/first-block.png" ] || e2e_fail "the pilot saw no falling block"
    check_bottom_row "$work/shots/first-block.png"
    mv "$work/shots/first-block.png" "$work/shots/$label-first-block.png"
    mv "$work/shots/last-well.png" "$work/shots/$label-last-well.png" 2>/dev/null
    mv "$work/shots/explosion.png" "$work/shots/$label-explosion.png" 2>/dev/null
    mv "$work/shots/after-clear.png" "$work/shots/$label-after-clear.png" 2>/dev/null
    sleep 0.2
    import -window root "$work/shots/$label-game-over.png"

    # The box is modal: the well stays frozen under it.
    kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended at game over"
    e2e_answer "$box"
    e2e_wait_unmapped '^ゲームオーバー$' 5 || e2e_fail "Return did not dismiss the game-over box"
    e2e_well_empty "$wid" || e2e_fail "after the game the well is not empty"
    e2e_lane_moves "$wid" || e2e_fail "after the game the UFO does not fly"
    xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null || e2e_fail "the window is gone"
    kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended after the game"
    import -window "$wid" "$work/shots/$label-idle-again.png"
    e2e_log "$label: box dismissed with Return; idle again (empty well, UFO flying)"
    e2e_stop_pid "$GAME_PID"
}

# check_saved_line FILE OLD_VALUE: exactly one line "HighScore=<digits>" CR LF, in
# quotes, 15 + n bytes, no leading zero, value at least OLD_VALUE. Prints the value.
check_saved_line() {
    local file=$1 old=$2 size value
    size=$(stat -c %s "$file")
    value=$(LC_ALL=C sed -n '1s/^"HighScore=\(0\|[1-9][0-9]*\)"\r$/\1/p' "$file")
    [ -n "$value" ] || e2e_fail "h-score.txt is not one well-formed line: $(od -c "$file" | head -n 3)"
    [ "$size" -eq $((15 + ${#value})) ] || e2e_fail "h-score.txt is $size bytes for value $value"
    [ "$value" -ge "$old" ] || e2e_fail "h-score.txt went down from $old to $value"
    echo "$value"
}

# Game 1: from 0, a game that ends above 0 is saved.
play_one best '"HighScore=0"\r\n' gain
if [ "$FOLLOWED" = 1 ]; then
    score=$(e2e_plan_value score)
    printf '"HighScore=%d"\r\n' "$score" >"$work/best.expected"
    cmp -s "$work/best.expected" "$game/h-score.txt" ||
        e2e_fail "h-score.txt after a game scoring $score: $(od -c "$game/h-score.txt" | head -n 3)"
    e2e_log "best: h-score.txt holds exactly the line for $score ($(stat -c %s "$game/h-score.txt") bytes)"
elif cmp -s "$work/best.before" "$game/h-score.txt"; then
    e2e_log "best: h-score.txt unchanged (the game left the replay; its score is unknown)"
else
    value=$(check_saved_line "$game/h-score.txt" 0) || exit 1
    e2e_log "best: h-score.txt now holds $value"
fi

# Game 2: an unbeatable best leaves the file alone.
play_one unbeaten '"HighScore=999999"\r\n' fast
cmp -s "$work/unbeaten.before" "$game/h-score.txt" ||
    e2e_fail "h-score.txt changed although 999999 was not beaten: $(od -c "$game/h-score.txt" | head -n 3)"
e2e_log "unbeaten: h-score.txt byte-identical"
e2e_log "PASS"
exit 0
