#!/usr/bin/env bash
# The game where players are on Wayland (weston): on X its window class is the one its
# desktop entry names, and the window names that entry itself (for a compositor that
# runs it through XWayland); on a headless weston it starts and its app id is the entry's;
# nested in our Xvfb, where xdotool's clicks reach the title bar Qt draws, the maximise
# button and a double click on the title leave it running in its frame.
. "$(dirname "$0")/lib.sh"
install_tree "$@"
entry=$work/prefix/share/applications/io.github.zenkora.Zenkora.desktop
id=$(basename "$entry" .desktop)
class=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$class" ] || fail "the desktop entry names no StartupWMClass"
launch
win=$(window 'Zenkora Ver\. 1') || fail "no window on X"
xdotool search --onlyvisible --class "^$class\$" >/dev/null || fail "the X window class is not $class"
for prop in _GTK_APPLICATION_ID _KDE_NET_WM_DESKTOP_FILE; do
    [ "$(xprop -id "$win" "$prop")" = "$prop(UTF8_STRING) = \"$id\"" ] || fail "$prop is not $id: $(xprop -id "$win" "$prop")"
done
stop_game

# wayland NAME: the game on the weston answering on NAME, telling its requests.
wayland() {
    : >"$work/game.log"
    WAYLAND_DISPLAY=$1 QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client launch
    _asked() { grep -q 'set_app_id' "$work/game.log" || ! kill -0 "$game" 2>/dev/null; }
    wait_for _asked
    ! grep -q 'Could not find the Qt platform plugin "wayland"' "$work/game.log" || { echo "SKIP: no Wayland plugin"; exit 77; }
}
start_weston headless --backend=headless-backend.so
wayland headless
grep -q "set_app_id(\"$id\")" "$work/game.log" || fail "the app id is not $id: $(grep -m1 set_app_id "$work/game.log")"
sleep 1 && kill -0 "$game" || fail "the game ended on a headless weston"
stop_game

# The window is found by its UFO counter's maroon, which the client area has at (489, 129).
origin() {
    import -window root "$work/root.png" &&
        convert "$work/root.png" -fill black +opaque 'srgb(128,0,0)' -trim -format '%X %Y %w %h' info: |
        tr -d + | awk '$3 > 40 && $3 < 60 { print $1 - 489, $2 - 129, $3 "x" $4 }'
}
# click X Y [REPEAT]: into weston's window from outside, or weston keeps the pointer at 0,0.
click() {
    xdotool mousemove $((width - 5)) 760 sleep 0.2 mousemove 450 350 sleep 0.2 mousemove "$1" "$2" sleep 0.2 \
        click --repeat "${3:-1}" --delay 80 1
}
# kept: the window is back where it was, in its designed frame, or the game has ended.
kept() { ! kill -0 "$game" 2>/dev/null || { [ "$(origin)" = "$before" ] && [ "$(frame)" = "$designed" ]; }; }
frame() { grep 'set_window_geometry' "$work/game.log" | tail -n1 | sed 's/.*set_window_geometry//'; }
start_weston nested --backend=x11-backend.so --use-pixman --width=900 --height=700
wayland nested
_seen() { before=$(origin) && [ -n "$before" ]; }
wait_for _seen || fail "the game's window is not seen in weston"
read -r x y _ <<<"$before"
designed=$(frame)
click $((x + 514)) $((y - 16))
wait_for grep -q 'set_maximized' "$work/game.log" || fail "the click did not reach the maximise button"
sleep 1  # the compositor has answered
wait_for kept; kill -0 "$game" || fail "maximise ended the game"
kept || fail "maximise left $(origin), frame $(frame); was $before, $designed"
click $((x + 274)) $((y - 16)) 2
sleep 1  # what a double click may start has begun
wait_for kept; kill -0 "$game" || fail "a double click on the title ended the game"
kept || fail "a double click left $(origin), frame $(frame); was $before, $designed"
echo "PASS (frame $designed at $before)"
