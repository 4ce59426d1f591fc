#!/usr/bin/env bash
# The program starts in a temp folder and opens its one window: title, client
# size, the empty well tile for tile, the colours of the three number displays,
# and the idle UFO on the move.
#
#   window_check.sh ZENKORA PILOT ASSETS_DIR
#
# Exit: 0 pass, 1 fail, 77 skip (a tool is not installed).

zenkora=${1:?usage: window_check.sh ZENKORA PILOT ASSETS_DIR}
pilot=${2:?}
assets=${3:?}
. "$(dirname "$0")/lib.sh"

e2e_require Xvfb xprop xdotool xwininfo import convert compare
e2e_setup window
e2e_start_x

game=$work/game
e2e_game_dir "$game"
cp "$game/h-score.txt" "$work/h-score.before"

t0=$(e2e_ms)
ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$game"
e2e_main_window 10
wid=$WID
t_map=$(($(e2e_ms) - t0))
e2e_log "window mapped after ${t_map} ms"

# Exactly one mapped window with that title, and its name is exactly the title.
count=$(xdotool search --onlyvisible --name '^Zenkora Ver\. 1$' | wc -l)
[ "$count" -eq 1 ] || e2e_fail "expected one mapped main window, found $count"
name=$(xdotool getwindowname "$wid")
[ "$name" = "Zenkora Ver. 1" ] || e2e_fail "title is '$name'"

info=$(xwininfo -id "$wid")
width=$(printf '%s\n' "$info" | awk '/^ *Width:/ { print $2 }')
height=$(printf '%s\n' "$info" | awk '/^ *Height:/ { print $2 }')
[ "$width" = 552 ] && [ "$height" = 445 ] || e2e_fail "client area is ${width}x${height}, not 552x445"
e2e_log "title '$name', client area ${width}x${height}"

# The well: 81 n0 tiles, pixel for pixel (waits for the first paint if need be).
e2e_well_empty "$wid" || e2e_fail "the well does not show n0 in every cell"
shot=$work/shots/idle.png
import -window "$wid" "$shot" || e2e_fail "cannot take a screenshot"
for c in 0 4 8; do
    for r in 0 8; do
        ae=$(e2e_ae "$shot" "$(e2e_cell_x $c)" "$(e2e_cell_y $r)" 33 33 "$assets/n0.bmp")
        [ "$ae" = 0 ] || e2e_fail "cell ($c, $r) differs from n0.bmp in $ae pixels"
    done
done
e2e_log "well: all 81 cells are n0.bmp"

# e2e_label NAME X Y W H R G B TEXT_FREE_WIDTH: a one-pixel black box around a
# background of exactly that colour (checked where the right-aligned text is not).
e2e_label() {
    local name=$1 x=$2 y=$3 w=$4 h=$5 rgb="$6,$7,$8" free=$9 got corner
    got=$(convert "$shot" -crop "${free}x$((h - 4))+$((x + 2))+$((y + 2))" +repage \
        -format '%k %[fx:round(255*p{0,0}.r)],%[fx:round(255*p{0,0}.g)],%[fx:round(255*p{0,0}.b)]' info:)
    [ "$got" = "1 $rgb" ] || e2e_fail "$name background: expected one colour $rgb, got '$got'"
    for corner in "$x $y" "$((x + w - 1)) $y" "$x $((y + h - 1))" "$((x + w - 1)) $((y + h - 1))"; do
        set -- $corner
        got=$(convert "$shot" -format "%[fx:round(255*p{$1,$2}.r)],%[fx:round(255*p{$1,$2}.g)],%[fx:round(255*p{$1,$2}.b)]" info:)
        [ "$got" = "0,0,0" ] || e2e_fail "$name border at ($1, $2) is $got, not black"
    done
    e2e_log "$name: background $rgb, black border"
}
e2e_label lblScore 392 96 145 25 0 0 128 80
e2e_label lblHighScore 392 32 145 25 0 0 192 80
e2e_label lblUFO 488 128 49 25 128 0 0 14

e2e_lane_moves "$wid" || e2e_fail "the UFO lane does not change: no idle flight"
e2e_log "idle: the UFO lane changes between screenshots"

kill -0 "$GAME_PID" 2>/dev/null || e2e_fail "the program ended on its own"
cmp -s "$work/h-score.before" "$game/h-score.txt" || e2e_fail "h-score.txt changed while idle"
e2e_log "PASS"
exit 0
