#!/usr/bin/env bash
# A best score the player froze: the game runs as an unprivileged user whose own
# folder holds the assets and an h-score.txt of 0 with mode 0444. A game that ends
# with 0 or more tries to save; after the game-over box the warning
# "ハイスコアをほぞんできませんでした。" titled "ちゅうい!!" must show, h-score.txt
# stays byte for byte and mode as it was, nothing is left behind in the folder, and
# the game goes on idle in its window.
#
# Run as root, the game is started through setpriv as uid/gid 65534, which owns the
# folder and the file; run as anyone else, as that user.
#
#   readonly_highscore.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: readonly_highscore.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import convert compare
e2e_setup readonly
e2e_start_x

game=$work/ro
e2e_game_dir "$game"
printf '"HighScore=0"\r\n' >"$game/h-score.txt"
cp "$game/h-score.txt" "$work/h-score.before"
chmod 0444 "$game/h-score.txt"
listing() { find "$game" -mindepth 1 -printf '%M %s %u %f\n' | sort; }

if [ "$(id -u)" -eq 0 ]; then
    e2e_require setpriv
    # The unprivileged user needs a way into the temp folder, its own home, and a
    # copy of the program it can reach whatever the build folder's permissions.
    chmod 0755 "$work"
    chown -R 65534:65534 "$work/run" "$work/home" "$game"
    mkdir -m 0755 "$work/bin"
    install -m 0755 "$zenkora" "$work/bin/zenkora"
    zenkora=$work/bin/zenkora
    ZK_WRAP="setpriv --reuid=65534 --regid=65534 --clear-groups --"
    who="uid 65534"
else
    ZK_WRAP=""
    who="$(id -un)"
fi
listing >"$work/listing.before"
e2e_log "the game runs as $who; its folder is writable, h-score.txt is 0444"

# A failed save can only show after a game that ends with 0 or more. Each try is
# a fresh program run with another seed; a game that leaves the replay may end
# below 0, so up to three tries.
warned=0
tries=0
for attempt in 1 2 3; do
    tries=$attempt
    seed=$("$pilot" pick --goal nonneg --from $((1 + (attempt - 1) * 60)) --to $((attempt * 60)) \
        2>>"$work/pilot-pick.log") || e2e_fail "no seed"
    ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$game" --seed "$seed"
    e2e_main_window 10
    wid=$WID
    t0=$(e2e_ms)
    e2e_play "$wid" "$seed" nonneg
    box=$(e2e_wait_window '^ゲームオーバー$' 30 "$GAME_PID") || e2e_fail "no game-over box"
    e2e_log "try $attempt: seed $seed, game over after $((($(e2e_ms) - t0) / 1000)) s; $PLAN"
    e2e_answer "$box"
    e2e_wait_unmapped '^ゲームオーバー$' 5 || e2e_fail "Return did not dismiss the game-over box"

    warning=$(e2e_wait_window '^ちゅうい!!$' 5 "$GAME_PID")
    if [ -n "$warning" ]; then
        sleep 0.2
        import -window root "$work/shots/save-failed.png"
        e2e_answer "$warning"
        e2e_wait_unmapped '^ちゅうい!!$' 5 || e2e_fail "Return did not dismiss the warning"
        warned=1
        e2e_log "try $attempt: the warning 'ちゅうい!!' showed after the game-over box"
    elif [ "$FOLLOWED" = 1 ]; then
        e2e_fail "a game that ended with $(e2e_plan_value score) showed no warning"
    else
        e2e_log "try $attempt: no warning (the game left the replay; its score may be below 0)"
    fi

    e2e_well_empty "$wid" || e2e_fail "after the game the well is not empty"
    e2e_lane_moves "$wid" || e2e_fail "after the game the UFO does not fly"
    xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null || e2e_fail "the window is gone"
    kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended"
    e2e_log "try $attempt: idle again, window still there"
    e2e_stop_pid "$GAME_PID"

    cmp -s "$work/h-score.before" "$game/h-score.txt" || e2e_fail "h-score.txt changed: $(od -c "$game/h-score.txt")"
    listing >"$work/listing.after"
    diff "$work/listing.before" "$work/listing.after" >/dev/null ||
        e2e_fail "the folder changed: $(diff "$work/listing.before" "$work/listing.after")"
    [ "$warned" -eq 0 ] || break
done
[ "$warned" -eq 1 ] || e2e_fail "no game of $tries showed the warning"
e2e_log "h-score.txt byte-identical, nothing left in the folder"
e2e_log "PASS"
exit 0
