#!/usr/bin/env bash
# Start-ups that cannot go on: an installed tile missing, a FIFO for h-score.txt, a
# player's tile of 64 bytes declaring 5790 x 5790 pixels, a player's folder that cannot
# be made. Each time the box "ちゅうい!!" shows, the main
# window never does, one stderr line names the file or folder and why, and after the
# box is answered the program ends with status 1.
. "$(dirname "$0")/lib.sh"
install_tree "$@"

# expect LINE: the start that was just set up fails as described, saying LINE.
expect() {
    : >"$work/game.log"
    launch
    box=$(window 'ちゅうい!!') || fail "no 'ちゅうい!!' box for: $1"
    ! xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' >/dev/null 2>&1 || fail "the main window shows"
    xdotool windowfocus --sync "$box" key Return 2>/dev/null
    exit_status; rc=$?
    [ $rc -eq 1 ] || fail "status $rc, not 1, for: $1"
    [ "$(cat "$work/game.log")" = "zenkora: $1" ] || fail "stderr said '$(cat "$work/game.log")', not 'zenkora: $1'"
}

mv "$work/prefix/share/zenkora/n3.bmp" "$work/n3.bmp"
expect "cannot read $work/prefix/share/zenkora/n3.bmp: no such file"
mv "$work/n3.bmp" "$work/prefix/share/zenkora/n3.bmp"

rm "$player/h-score.txt" && mkfifo "$player/h-score.txt"
expect "cannot read $player/h-score.txt: not a regular file"

rm "$player/h-score.txt" && printf '"HighScore=0"\r\n' >"$player/h-score.txt"
printf 'BM@\0\0\0\0\0\0\0>\0\0\0(\0\0\0\x9e\x16\0\0\x9e\x16\0\0\1\0\10\0\1\0\0\0\2%028d\1' 0 | tr 0 '\0' >"$player/n3.bmp"
expect "cannot read $player/n3.bmp: BMP larger than 1024 x 1024"

export XDG_DATA_HOME=$work/file/data && touch "$work/file"
expect "cannot make $work/file/data/zenkora: not a directory"
echo PASS
