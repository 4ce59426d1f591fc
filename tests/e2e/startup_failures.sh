#!/usr/bin/env bash
# Start-up with a file the game cannot do without, each time with a fresh player's
# folder and installed tree: each of the 14 tiles missing from the installed assets;
# h-score.txt missing, not a number, a FIFO, a link to /dev/zero, a sparse 1 GiB
# file; a player's tile that is a FIFO or a link to /dev/zero; a player's folder that
# cannot be made. Every time the box "ファイルがみつかりませんでした。" titled "ちゅうい!!"
# shows, the main window is never mapped, stderr says in one line what failed where,
# and after Return the program exits with status 1, having made no h-score.txt.
#
#   startup_failures.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: startup_failures.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import mkfifo truncate
e2e_setup startup-failures
e2e_start_x
installed=$work/tree/share/zenkora
install -D -m 0755 "$zenkora" "$work/tree/bin/zenkora" && mkdir "$work/tree/share" || exit 1
zenkora=$work/tree/bin/zenkora

# one_case LABEL SAID SETUP...: SETUP runs in the player's folder before the start;
# SAID is the line stderr must hold, after "zenkora: ", with {player} for that folder.
one_case() {
    local label=$1 dir=$work/case-$1 t0 box rc seen_main=0 t_box t_exit said
    said="zenkora: ${2//\{player\}/$dir.data/zenkora}"
    shift 2
    rm -rf "$installed" && cp -r "$assets" "$installed" && mkdir "$dir" &&
        printf '"HighScore=0"\r\n' >"$dir/h-score.txt" && (cd "$dir" && "$@") || e2e_fail "$label: cannot prepare"
    local had_score=no
    [ -e "$dir/h-score.txt" ] && had_score=yes

    : >"$work/game.log"
    t0=$(e2e_ms)
    ZK_ENV="SDL_AUDIODRIVER=dummy ${ZK_ENV:-}" e2e_launch "$dir"
    box=$(e2e_wait_window '^ちゅうい!!$' 10 "$GAME_PID")
    rc=$?
    [ "$rc" -eq 0 ] || e2e_fail "$label: no 'ちゅうい!!' box (wait ended with $rc)"
    t_box=$(($(e2e_ms) - t0))
    [ -f "$work/shots/$label.png" ] || import -window root "$work/shots/$label.png" 2>/dev/null

    # The main window may exist unmapped (the box's owner), but is never shown.
    main_shown() { ! xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null 2>&1 || seen_main=1; }
    main_shown
    e2e_answer "$box"
    while kill -0 "$GAME_PID" 2>/dev/null; do
        main_shown
        [ $(($(e2e_ms) - t0)) -lt 15000 ] || break
        sleep 0.02
    done
    e2e_wait_exit "$GAME_PID" 1
    rc=$?
    t_exit=$(($(e2e_ms) - t0))
    [ "$seen_main" -eq 0 ] || e2e_fail "$label: the main window was mapped"
    [ "$rc" -eq 1 ] || e2e_fail "$label: the program ended with status $rc, not 1"
    [ "$(cat "$work/game.log")" = "$said" ] || e2e_fail "$label: stderr said '$(cat "$work/game.log")', not '$said'"
    if [ "$had_score" = no ] && [ -e "$dir/h-score.txt" ]; then
        e2e_fail "$label: the program created h-score.txt"
    fi
    printf '%-18s box after %4d ms, exit status %d after %4d ms\n' "$label" "$t_box" "$rc" "$t_exit"
}

started=$(e2e_ms)
for image in n0 n1 n2 n3 n4 n5 n6 n7 n8 n9 ufo01 ufo02 bom ban; do
    one_case "$image.bmp" "cannot read $installed/$image.bmp: no such file" rm "$installed/$image.bmp"
done
score="cannot read {player}/h-score.txt"
one_case no-h-score.txt "$score: no such file" rm h-score.txt
one_case bad-h-score.txt "$score: high score is not a number" sh -c 'printf "\"HighScore=abc\"\r\n" >h-score.txt'
one_case fifo-h-score.txt "$score: not a regular file" sh -c 'rm h-score.txt && mkfifo h-score.txt'
one_case zero-h-score.txt "$score: not a regular file" ln -sf /dev/zero h-score.txt
one_case giant-h-score.txt "$score: larger than 4096 bytes" truncate -s 1G h-score.txt
one_case planted-n0.bmp "cannot read {player}/n0.bmp: not a regular file" ln -s /dev/zero n0.bmp
one_case fifo-ban.bmp "cannot read {player}/ban.bmp: not a regular file" mkfifo ban.bmp
ZK_ENV="XDG_DATA_HOME=$work/file/data" one_case no-folder "cannot make $work/file/data/zenkora: not a directory" \
    touch "$work/file"
e2e_log "22 starts in $(($(e2e_ms) - started)) ms"
e2e_log "PASS"
exit 0
