#!/usr/bin/env bash
# The installed game as a new player meets it: `cmake --install` puts the program, its
# files, the desktop entry, icons, metadata and manual in place, each valid; the tree,
# moved, is started from / with a fresh data folder, makes the player's folder holding
# the initial h-score.txt and shows its window; a magenta n0.bmp the player puts there is
# painted and kept. The command line answers without a display, and says what is wrong;
# --seed takes plain digits only.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
share=$work/prefix/share
for f in "$assets"/*.bmp "$assets"/*.wav "$assets"/h-score.txt; do
    cmp -s "$f" "$share/zenkora/${f##*/}" || fail "share/zenkora/${f##*/} is missing or differs"
done
for size in 16 32 48 64 128 256; do
    [ "$(identify -format %wx%h "$share/icons/hicolor/${size}x$size/apps/io.github.zenkora.Zenkora.png")" = "${size}x$size" ] ||
        fail "no ${size}x$size icon"
done
for tool in appstreamcli desktop-file-validate groff; do command -v $tool >/dev/null || { echo "SKIP: no $tool"; exit 77; }; done
desktop-file-validate "$share"/applications/*.desktop || fail "desktop entry"
# No homepage is invented: appstream 1.0's warning of its absence is a note here (0.16 has none).
metainfo() { appstreamcli validate --no-net "$@" "$share"/metainfo/*.xml >"$work/as.log" 2>&1; }
metainfo --override=url-homepage-missing=info || { grep -q "not recognized" "$work/as.log" && metainfo; } || fail "metainfo: $(cat "$work/as.log")"
[ -z "$(zcat "$share/man/man6/zenkora.6.gz" | groff -man -ww -z 2>&1)" ] || fail "manual page warnings"
mv "$work/prefix" "$work/moved" && zenkora=$work/moved/bin/zenkora

"$zenkora" --version | grep -qx 'Zenkora Ver. 1 (zenkora 1.0)' || fail "--version"
"$zenkora" --help | grep -q "$player" || fail "--help does not name the player's folder"
"$zenkora" --bogus 2>"$work/err" >/dev/null; rc=$?
[ $rc -eq 2 ] && grep -q -- "--bogus" "$work/err" && grep -q -- "--help" "$work/err" || fail "an unknown option: $rc, $(cat "$work/err")"
refused() { timeout 10 "$zenkora" "$@" >/dev/null 2>&1; [ $? -eq 2 ] || fail "not refused: $*"; }
refused '--seed= -5' && refused --seed= -5 && refused --seed=+5 && refused --seed ' 5' && refused --seed=5x
[ ! -e "$player" ] || fail "answering on the terminal made the player's folder"
none=$(for n in $(seq 99 999); do DISPLAY=:$n xdotool getdisplaygeometry >/dev/null 2>&1 || { echo $n; break; }; done)
DISPLAY=:$none "$zenkora" 2>"$work/err"; rc=$?
[ $rc -eq 1 ] && grep -q ":$none" "$work/err" || fail "an unreachable display: $rc, $(cat "$work/err")"
# A plugin or a Wayland display that cannot be had: Qt's reason on one line, naming it.
for start in 'QT_QPA_PLATFORM=nope "nope"' 'QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=nowhere nowhere'; do
    env ${start% *} "$zenkora" 2>"$work/err"; rc=$?
    [ $rc -eq 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q "${start##* }" "$work/err" || fail "$start: $rc, $(cat "$work/err")"
done

launch
w=$(window 'Zenkora Ver\. 1') || fail "no window"
[ "$(ls -A "$player")" = h-score.txt ] && cmp -s "$assets/h-score.txt" "$player/h-score.txt" ||
    fail "the player's folder holds: $(ls -A "$player")"
# Window (60, 300) is pixel (12, 23) of a well cell.
shows "$w" 60 300 "$(convert "$assets/n0.bmp" -format '%[pixel:p{12,23}]' info:)" || fail "no empty well"
stop_game
convert -size 33x33 xc:magenta "BMP3:$player/n0.bmp" && cp "$player/n0.bmp" "$work/mine.bmp"
for run in 1 2; do
    launch
    w=$(window 'Zenkora Ver\. 1') || fail "no window at start $run"
    shows "$w" 60 300 "srgb(255,0,255)" || fail "the player's n0.bmp is not painted at start $run"
    stop_game
    cmp -s "$player/n0.bmp" "$work/mine.bmp" || fail "the player's n0.bmp was changed"
done
echo PASS
