#!/usr/bin/env bash
# Start-up with a file the game cannot do without: each of the 14 tile images
# missing in turn, h-score.txt missing, and h-score.txt with a value that is not a
# number. Every time the box "ファイルがみつかりませんでした。" titled "ちゅうい!!"
# shows, the main window is never mapped, and after Return the program exits with
# a non-zero status, having created no h-score.txt.
#
#   startup_failures.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: startup_failures.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool import
e2e_setup startup-failures
e2e_start_x

# one_case LABEL SETUP...: SETUP runs in the game folder before the start.
one_case() {
    local label=$1 dir=$work/case-$1 t0 box rc seen_main=0 t_box t_exit
    shift
    e2e_game_dir "$dir"
    (cd "$dir" && "$@") || e2e_fail "$label: cannot prepare the folder"
    local had_score=no
    [ -e "$dir/h-score.txt" ] && had_score=yes

    t0=$(e2e_ms)
    ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$dir"
    box=$(e2e_wait_window '^ちゅうい!!$' 10 "$GAME_PID")
    rc=$?
    [ "$rc" -eq 0 ] || e2e_fail "$label: no 'ちゅうい!!' box (wait ended with $rc)"
    t_box=$(($(e2e_ms) - t0))
    [ -f "$work/shots/$label.png" ] || import -window root "$work/shots/$label.png" 2>/dev/null

    # The main window may exist unmapped (the box's owner), but is never shown.
    if xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null 2>&1; then
        seen_main=1
    fi
    e2e_answer "$box"
    while kill -0 "$GAME_PID" 2>/dev/null; do
        if xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null 2>&1; then
            seen_main=1
        fi
        [ $(($(e2e_ms) - t0)) -lt 15000 ] || break
        sleep 0.02
    done
    e2e_wait_exit "$GAME_PID" 1
    rc=$?
    t_exit=$(($(e2e_ms) - t0))
    [ "$seen_main" -eq 0 ] || e2e_fail "$label: the main window was mapped"
    [ "$rc" -ne 124 ] || e2e_fail "$label: the program did not end after Return"
    [ "$rc" -ne 0 ] || e2e_fail "$label: the program ended with status 0"
    if [ "$had_score" = no ] && [ -e "$dir/h-score.txt" ]; then
        e2e_fail "$label: the program created h-score.txt"
    fi
    printf '%-16s box after %4d ms, exit status %d after %4d ms\n' "$label" "$t_box" "$rc" "$t_exit"
}

started=$(e2e_ms)
for image in n0 n1 n2 n3 n4 n5 n6 n7 n8 n9 ufo01 ufo02 bom ban; do
    one_case "$image.bmp" rm "$image.bmp"
done
one_case no-h-score.txt rm h-score.txt
one_case bad-h-score.txt sh -c 'printf "\"HighScore=abc\"\r\n" >h-score.txt'
e2e_log "16 starts in $(($(e2e_ms) - started)) ms"
e2e_log "PASS"
exit 0
