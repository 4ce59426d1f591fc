#!/usr/bin/env bash
# Seeded games to their end on the real program, every block dropped where it enters:
# the game-over box comes and the window goes back to idle. The best score is kept as
# the player keeps it: h-score.txt a link into another folder stays a link and its
# target gets the best; a higher best that another copy saved during the game stays.
# Root saving the player's file leaves it the player's, also when a logout (SIGTERM)
# comes while the game-over box is up. As a player who may not write h-score.txt
# (0444), and as root with h-score.txt a link to another user's file, the save fails
# with a warning and the file is unchanged.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
command -v setpriv >/dev/null || { echo "SKIP: setpriv is not installed"; exit 77; }

# play [RUNNER...]: one game, seed 232 (it ends at 3060), to its game-over box and back to idle.
play() {
    (cd / && exec "$@" "$zenkora" --seed 232) >>"$work/game.log" 2>&1 &
    game=$!
    pids+=($game)
    w=$(window 'Zenkora Ver\. 1') || fail "no window"
    xdotool mousemove --window "$w" 468 368 click 1 windowfocus --sync "$w"
    # Down every 0.1 s until the game ends, however slowly a busy machine plays it.
    local start=$SECONDS later=("${during[@]}")
    until xdotool search --onlyvisible --name '^ゲームオーバー$' >/dev/null 2>&1; do
        kill -0 "$game" 2>/dev/null && [ $SECONDS -lt $((start + 5 * patience)) ] || fail "no game over"
        [ $SECONDS -lt $((start + 10)) ] || { "${later[@]}"; later=(true); }
        xdotool key Down
        sleep 0.1
    done
    if [ -n "$logout" ]; then
        window 'ゲームオーバー' 10 >/dev/null || fail "no 'ゲームオーバー' box"
        kill -TERM "$game"
        wait "$game"
        local status=$?
        [ "$status" = 143 ] || fail "SIGTERM at the game-over box: status $status"
        return
    fi
    answer 'ゲームオーバー'
    [ -z "$then_box" ] || answer "$then_box"
    # Window (258, 267) is pixel (12, 23) of the cell at column 6, row 4, where this game
    # ends on a 5: emptied only once the game is back to idle, after the save.
    shows "$w" 258 267 "$(convert "$assets/n0.bmp" -format '%[pixel:p{12,23}]' info:)" || fail "the well is not emptied"
    stop_game
}
during=(true)
then_box=""
logout=""

# A synced score file, and another copy saving a higher best ten seconds in.
mkdir -p "$work/synced" "$player"
printf '"HighScore=0"\r\n' >"$work/synced/h-score.txt"
ln -s "$work/synced/h-score.txt" "$player/h-score.txt"
during=(sh -c "printf '\"HighScore=99999\"\r\n' >'$work/synced/h-score.txt'")
play
[ -L "$player/h-score.txt" ] || fail "h-score.txt is no longer a link"
[ "$(cat "$work/synced/h-score.txt")" = "$(printf '"HighScore=99999"\r\n')" ] ||
    fail "the other copy's best was lost: $(cat "$work/synced/h-score.txt")"

# The same game again, by root on uid 65534's fresh score file, ended by a logout at
# its game-over box: its 3060 is saved, and the file stays the player's.
rm "$player/h-score.txt" && printf '"HighScore=0"\r\n' >"$player/h-score.txt" && chmod 0640 "$player/h-score.txt"
chown -R 65534:65534 "$player"
during=(true)
logout=1
play
logout=""
[ "$(cat "$player/h-score.txt")" = "$(printf '"HighScore=3060"\r\n')" ] || fail "no best saved: $(cat "$player/h-score.txt")"
[ "$(stat -c %u:%g:%a "$player/h-score.txt")" = 65534:65534:640 ] ||
    fail "root took the player's file: $(stat -c %u:%g:%a "$player/h-score.txt")"

# As uid 65534 with a frozen file in a folder of its own.
printf '"HighScore=0"\r\n' >"$player/h-score.txt" && chmod 0444 "$player/h-score.txt" && chown -R 65534:65534 "$XDG_DATA_HOME"
cp -p "$player/h-score.txt" "$work/frozen"
chmod 755 "$HOME"
then_box='ちゅうい!!'  # the save failed
play setpriv --reuid=65534 --regid=65534 --clear-groups
cmp -s "$player/h-score.txt" "$work/frozen" && [ "$(stat -c %a "$player/h-score.txt")" = 444 ] ||
    fail "the frozen h-score.txt was changed"

# As root with h-score.txt a link to another user's file: that file is never written.
rm -rf "$player" && mkdir -p "$player" "$work/theirs"
printf '"HighScore=0"\r\n' >"$work/theirs/h-score.txt" && chown -R 65534:65534 "$work/theirs"
ln -s "$work/theirs/h-score.txt" "$player/h-score.txt"
cp -p "$work/theirs/h-score.txt" "$work/theirs-before"
play
cmp -s "$work/theirs/h-score.txt" "$work/theirs-before" && [ "$(ls -A "$work/theirs")" = h-score.txt ] ||
    fail "root wrote through the link into another user's file"
echo PASS
