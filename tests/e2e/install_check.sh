#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temp prefix puts the program, the
# assets, the desktop entry and the 48x48 icon in place; --help and --version answer
# without a display, --help naming the folders; a start without a display says so in
# one line and fails. Moved elsewhere and started from / under Xvfb with a fresh
# XDG_DATA_HOME, the program makes the player's folder with only h-score.txt in it
# and shows its window; a magenta n0.bmp and a best the player puts there are used
# and kept, and a FIFO in the icon's place does not hold up the start.
#
#   install_check.sh ZENKORA PILOT ASSETS_DIR BUILD_DIR [CMAKE]
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: install_check.sh ZENKORA PILOT ASSETS_DIR BUILD_DIR}
pilot=${2:?}
assets=${3:?}
build=${4:?}
. "$(dirname "$0")/lib.sh"

cmake_command=${5:-cmake}
e2e_require "$cmake_command" Xvfb xprop xdotool identify cmp convert compare mkfifo
e2e_setup install

prefix=$work/prefix
"$cmake_command" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || e2e_fail "cmake --install failed"
e2e_log "installed into a temp prefix ($(find "$prefix" -type f | wc -l) files)"

[ -x "$prefix/bin/zenkora" ] || e2e_fail "bin/zenkora is missing or not executable"
file_list="n0.bmp n1.bmp n2.bmp n3.bmp n4.bmp n5.bmp n6.bmp n7.bmp n8.bmp n9.bmp ufo01.bmp ufo02.bmp bom.bmp ban.bmp
open.wav game.wav danger.wav bom.wav zenkora.png h-score.txt"
for f in $file_list; do
    cmp -s "$assets/$f" "$prefix/share/zenkora/$f" || e2e_fail "share/zenkora/$f is missing or differs from the source"
done
desktop=$prefix/share/applications/zenkora.desktop
[ -f "$desktop" ] || e2e_fail "share/applications/zenkora.desktop is missing"
grep -qx 'Exec=zenkora' "$desktop" || e2e_fail "the desktop entry does not start zenkora"
grep -qx 'Icon=zenkora' "$desktop" || e2e_fail "the desktop entry has no Icon=zenkora"
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$desktop" >"$work/desktop-validate.log" 2>&1 ||
        e2e_fail "desktop-file-validate: $(cat "$work/desktop-validate.log")"
    e2e_log "desktop entry: valid (desktop-file-validate)"
else
    e2e_log "note: desktop-file-validate not installed (package desktop-file-utils); entry not validated"
fi
icon=$prefix/share/icons/hicolor/48x48/apps/zenkora.png
[ -f "$icon" ] || e2e_fail "the 48x48 icon is missing"
size=$(identify -format '%wx%h' "$icon" 2>/dev/null)
[ "$size" = 48x48 ] || e2e_fail "the icon is '$size', not 48x48"
e2e_log "program, 20 assets, desktop entry, icon ${size}: in place"

# The tree is moved before its program first runs: it finds its parts wherever it is.
mv "$prefix" "$work/moved"
prefix=$work/moved
zenkora=$prefix/bin/zenkora

# Without a display: --help and --version answer, making no folder; a start says why
# it cannot. A relative XDG_DATA_HOME is not a place: ~/.local/share is.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home-$1" XDG_DATA_HOME=data timeout 20 "$zenkora" "${@:2}"; }
out=$(nodisplay help --help 2>"$work/help.err")
rc=$?
[ "$rc" -eq 0 ] || e2e_fail "--help ended with $rc: $(cat "$work/help.err")"
case $out in
*"Usage: zenkora"*"--seed N"*"  $work/home-help/.local/share/zenkora"*"  $prefix/share/zenkora"*) ;;
*) e2e_fail "--help printed: $out" ;;
esac
out=$(nodisplay version --version 2>&1) && [ "$out" = "Zenkora Ver. 1 (zenkora 1.0)" ] ||
    e2e_fail "--version failed or printed: $out"
[ ! -e "$work/home-help" ] && [ ! -e "$work/home-version" ] || e2e_fail "--help or --version made a folder"
e2e_log "--help names the folders and --version answers without a display: '$out'"

nodisplay plain >"$work/plain.out" 2>"$work/plain.err"
rc=$?
[ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] || e2e_fail "a start without a display ended with $rc"
[ ! -s "$work/plain.out" ] || e2e_fail "a start without a display printed on stdout: $(cat "$work/plain.out")"
lines=$(wc -l <"$work/plain.err")
[ "$lines" -eq 1 ] || e2e_fail "a start without a display printed $lines lines: $(cat "$work/plain.err")"
e2e_log "without a display: status $rc, one line: $(cat "$work/plain.err")"

# Under Xvfb, from /, as a player with a fresh data folder.
e2e_start_x
export XDG_DATA_HOME=$work/player-data
data=$XDG_DATA_HOME/zenkora
ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch ""
e2e_main_window 10
[ "$(ls -A "$data")" = h-score.txt ] || e2e_fail "the player's folder holds: $(ls -A "$data")"
cmp -s "$assets/h-score.txt" "$data/h-score.txt" || e2e_fail "the player's h-score.txt is not the installed one"
e2e_well_empty "$WID" || e2e_fail "the installed game does not show its empty well"
e2e_stop_pid "$GAME_PID"
e2e_log "first run: the player's folder made, holding only h-score.txt"

# The player's own tile is painted and kept, and so is the player's best.
convert -size 33x33 xc:magenta "BMP3:$data/n0.bmp" && printf '"HighScore=4321"\r\n' >"$data/h-score.txt" &&
    cp "$data/n0.bmp" "$data/h-score.txt" "$work/" && mkfifo "$data/zenkora.png" || e2e_fail "cannot prepare"
ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch ""
e2e_main_window 10
rm "$work/empty-well.png"
assets=$data e2e_well_empty "$WID" || e2e_fail "the player's magenta n0.bmp is not painted"
e2e_stop_pid "$GAME_PID"
cmp -s "$work/h-score.txt" "$data/h-score.txt" && cmp -s "$work/n0.bmp" "$data/n0.bmp" ||
    e2e_fail "the player's h-score.txt or n0.bmp changed"
e2e_log "second run: the player's magenta n0.bmp painted, it and h-score.txt kept byte for byte"
e2e_log "PASS"
exit 0
