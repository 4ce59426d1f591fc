#!/usr/bin/env bash
# Seeded games to their end on the real program, every block dropped where it enters:
# the game-over box comes and the window goes back to idle. The best score is kept as
# the player keeps it: h-score.txt a link into another folder stays a link and its
# target gets the best; a higher best that another copy saved during the game stays.
# Root saving the player's file leaves it the player's, also when a logout (SIGTERM)
# comes while the game-over box is up. As a player who may not write h-score.txt
# (0444), as root with h-score.txt a link to another user's file, and as root with the
# player's folder itself a link to another user's folder, the save fails with a warning
# and nothing of theirs is written or made. Argument 5, "theirs": only the cases of
# another user's file, beside the others in a run of their own.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
command -v setpriv >/dev/null || { echo "SKIP: setpriv is not installed"; exit 77; }

# play [RUNNER...]: one game to its game-over box and back to idle. Seed 26968532 ends
# early: after 12 UFOs, at 40, a number finds column 6 full.
play() {
    (cd / && exec "$@" "$zenkora" --seed 26968532) >>"$work/game.log" 2>&1 &
    game=$!
    pids+=($game)
    w=$(window 'Zenkora Ver\. 1') || fail "no window"
    xdotool mousemove --window "$w" 468 368 click 1 windowfocus --sync "$w"
    "${during[@]}"
    # Down every 0.1 s until the game ends, however slowly a busy machine plays it.
    local start=$SECONDS
    until xdotool search --onlyvisible --name '^ゲームオーバー$' >/dev/null 2>&1; do
        kill -0 "$game" 2>/dev/null && [ $SECONDS -lt $((start + 5 * patience)) ] || fail "no game over"
        xdotool key Down
        sleep 0.1
    done
    if [ -n "$logout" ]; then
        window 'ゲームオーバー' >/dev/null || fail "no 'ゲームオーバー' box"
        kill -TERM "$game"
        wait "$game"
        local status=$?
        [ "$status" = 143 ] || fail "SIGTERM at the game-over box: status $status"
        return
    fi
    answer 'ゲームオーバー'
    # Window (258, 267) is pixel (12, 23) of the cell at column 6, row 4, a 3 when this game
    # ends: emptied only once the game is back to idle, after the save.
    local empty
    empty=$(convert "$assets/n0.bmp" -format '%[pixel:p{12,23}]' info:)
    if [ -n "$then_box" ]; then  # the box, not an idle window that saved
        _box() { xdotool search --onlyvisible --name "^$then_box\$" >/dev/null 2>&1; }
        _settled() { _box || [ "$(import -window "$w" -crop 1x1+258+267 -format '%[pixel:p{0,0}]' info: 2>/dev/null)" = "$empty" ]; }
        wait_for _settled && _box || fail "the save did not fail: no '$then_box' box"
        answer "$then_box"
    fi
    shows "$w" 258 267 "$empty" || fail "the well is not emptied"
    stop_game
}
zero=$(printf '"HighScore=0"\r\n')
then_box="" logout="" during=(true)

if [ "${5:-}" = theirs ]; then
    then_box='ちゅうい!!'  # every save here fails, with the warning box
    # theirs: uid 65534's game folder holding its h-score.txt, and a copy of it as it was.
    theirs() {
        rm -rf "$player" "$work/theirs" && mkdir "$work/theirs" && echo "$zero" >"$work/theirs/h-score.txt"
        chown -R 65534:65534 "$work/theirs" && cp -pr "$work/theirs" "$work/theirs-before"
    }
    untouched() { diff -r "$work/theirs" "$work/theirs-before" >/dev/null && rm -r "$work/theirs-before"; }
    # As root with h-score.txt a link to another user's file: that file is never written.
    theirs && mkdir -p "$player" && ln -s "$work/theirs/h-score.txt" "$player/h-score.txt"
    play
    untouched || fail "root wrote through the link into another user's file"
    # As root with the player's folder itself (uid 4242's) a link to another user's game
    # folder: the save fails with the warning box, nothing there is written, replaced or made.
    theirs && chown 4242:4242 "$XDG_DATA_HOME" && ln -s "$work/theirs" "$player" && chown -h 4242:4242 "$player"
    play
    untouched || fail "root wrote into another user's folder, the player's folder being a link to it"
    echo PASS
    exit
fi

# A synced score file, and another copy saving a higher best once the game is on.
mkdir -p "$work/synced" "$player"
echo "$zero" >"$work/synced/h-score.txt"
ln -s "$work/synced/h-score.txt" "$player/h-score.txt"
during=(sh -c "printf '\"HighScore=99999\"\r\n' >'$work/synced/h-score.txt'")
play
during=(true)
[ -L "$player/h-score.txt" ] || fail "h-score.txt is no longer a link"
[ "$(cat "$work/synced/h-score.txt")" = "$(printf '"HighScore=99999"\r\n')" ] ||
    fail "the other copy's best was lost: $(cat "$work/synced/h-score.txt")"

# The same game again, by root on uid 65534's fresh score file, ended by a logout at
# its game-over box: its 40 is saved, and the file stays the player's.
rm "$player/h-score.txt" && echo "$zero" >"$player/h-score.txt" && chmod 0640 "$player/h-score.txt"
chown -R 65534:65534 "$player"
logout=1
play
logout=""
[ "$(cat "$player/h-score.txt")" = "$(printf '"HighScore=40"\r\n')" ] || fail "no best saved: $(cat "$player/h-score.txt")"
[ "$(stat -c %u:%g:%a "$player/h-score.txt")" = 65534:65534:640 ] ||
    fail "root took the player's file: $(stat -c %u:%g:%a "$player/h-score.txt")"

# As uid 65534 with a frozen file in a folder of its own: the save fails, with the warning box.
then_box='ちゅうい!!'
echo "$zero" >"$player/h-score.txt" && chmod 0444 "$player/h-score.txt" && chown -R 65534:65534 "$XDG_DATA_HOME"
cp -p "$player/h-score.txt" "$work/frozen"
chmod 755 "$HOME"
play setpriv --reuid=65534 --regid=65534 --clear-groups
cmp -s "$player/h-score.txt" "$work/frozen" && [ "$(stat -c %a "$player/h-score.txt")" = 444 ] ||
    fail "the frozen h-score.txt was changed"
echo PASS
