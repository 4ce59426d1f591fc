#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temp prefix puts the launcher, the
# program, the assets, the desktop entry, the icons, the metainfo and the manual in
# place; --help and --version answer without a display; a start without a display says so in one
# line and fails; under Xvfb the launcher fills ~/.local/share/zenkora and the
# window shows; a player's h-score.txt there is never overwritten.
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
e2e_require "$cmake_command" Xvfb xprop xdotool identify cmp
e2e_setup install

prefix=$work/prefix
"$cmake_command" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || e2e_fail "cmake --install failed"
e2e_log "installed into a temp prefix ($(find "$prefix" -type f | wc -l) files)"

launcher=$prefix/bin/zenkora
[ -x "$launcher" ] || e2e_fail "bin/zenkora is missing or not executable"
[ -x "$prefix/libexec/zenkora/zenkora" ] || e2e_fail "libexec/zenkora/zenkora is missing or not executable"
file_list="n0.bmp n1.bmp n2.bmp n3.bmp n4.bmp n5.bmp n6.bmp n7.bmp n8.bmp n9.bmp ufo01.bmp ufo02.bmp bom.bmp ban.bmp
open.wav game.wav danger.wav bom.wav zenkora.png h-score.txt"
for f in $file_list; do
    cmp -s "$assets/$f" "$prefix/share/zenkora/$f" || e2e_fail "share/zenkora/$f is missing or differs from the source"
done
app_id=io.github.zenkora.Zenkora
desktop=$prefix/share/applications/$app_id.desktop
[ -f "$desktop" ] || e2e_fail "share/applications/$app_id.desktop is missing"
grep -qx 'Exec=zenkora' "$desktop" || e2e_fail "the desktop entry does not start zenkora"
grep -qx "Icon=$app_id" "$desktop" || e2e_fail "the desktop entry has no Icon=$app_id"
if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$desktop" >"$work/desktop-validate.log" 2>&1 ||
        e2e_fail "desktop-file-validate: $(cat "$work/desktop-validate.log")"
    e2e_log "desktop entry: valid (desktop-file-validate)"
else
    e2e_log "note: desktop-file-validate not installed (package desktop-file-utils); entry not validated"
fi
for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
    got=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/$size/apps/$app_id.png" 2>/dev/null)
    [ "$got" = "$size" ] || e2e_fail "the $size icon is '$got'"
done
[ -f "$prefix/share/metainfo/$app_id.metainfo.xml" ] || e2e_fail "the metainfo file is missing"
[ -f "$prefix/share/man/man6/zenkora.6.gz" ] || e2e_fail "the manual page is missing"
e2e_log "launcher, program, 20 assets, desktop entry, six icons, metainfo, manual: in place"

# Without a display: --help and --version answer; a start says why it cannot.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home-$1" timeout 20 "$launcher" "${@:2}"; }
mkdir -p "$work/home-help" "$work/home-version" "$work/home-plain"
out=$(nodisplay help --help 2>"$work/help.err")
rc=$?
[ "$rc" -eq 0 ] || e2e_fail "--help ended with $rc: $(cat "$work/help.err")"
case $out in *"Usage: zenkora"*"--seed N"*) ;; *) e2e_fail "--help printed: $out" ;; esac
out=$(nodisplay version --version 2>"$work/version.err")
rc=$?
[ "$rc" -eq 0 ] || e2e_fail "--version ended with $rc"
[ "$out" = "Zenkora Ver. 1 (zenkora 1.0)" ] || e2e_fail "--version printed: $out"
e2e_log "--help and --version answer without a display: '$out'"
if [ -d "$work/home-help/.local/share/zenkora" ]; then
    e2e_log "note: --help also set up ~/.local/share/zenkora (the launcher copies the files before the program runs)"
fi

nodisplay plain >"$work/plain.out" 2>"$work/plain.err"
rc=$?
[ "$rc" -ne 0 ] && [ "$rc" -ne 124 ] || e2e_fail "a start without a display ended with $rc"
[ ! -s "$work/plain.out" ] || e2e_fail "a start without a display printed on stdout: $(cat "$work/plain.out")"
lines=$(wc -l <"$work/plain.err")
[ "$lines" -eq 1 ] || e2e_fail "a start without a display printed $lines lines: $(cat "$work/plain.err")"
e2e_log "without a display: status $rc, one line: $(cat "$work/plain.err")"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:9999 HOME="$work/home-plain" timeout 20 "$launcher" 2>"$work/plain.err"
grep -q ':9999' "$work/plain.err" || e2e_fail "an unreachable display is not named: $(cat "$work/plain.err")"

# A wrong option or a stray argument: one line naming it, status 2. Qt's own pass.
for bad in --bogus stray; do
    nodisplay plain "$bad" 2>"$work/bad.err"
    rc=$?
    [ "$rc" -eq 2 ] && [ "$(wc -l <"$work/bad.err")" -eq 1 ] && grep -q -- "'$bad'.*--help" "$work/bad.err" ||
        e2e_fail "'$bad' ended with $rc: $(cat "$work/bad.err")"
done
out=$(nodisplay plain -platform offscreen -style Fusion --version 2>&1) || e2e_fail "Qt's options refused: $out"
e2e_log "wrong arguments: status 2 and $(cat "$work/bad.err")"

# A moved tree still finds its parts.
mv "$prefix" "$work/moved"
prefix=$work/moved
launcher=$prefix/bin/zenkora
out=$(nodisplay version --version 2>&1) || e2e_fail "the moved tree does not start: $out"
e2e_log "moved tree: --version still answers"

# Under Xvfb, as a player with an empty home.
e2e_start_x
export HOME=$work/player
mkdir -p "$HOME"
data=$HOME/.local/share/zenkora
zenkora=$launcher
ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$work"
t0=$(e2e_ms)
e2e_main_window 10
e2e_log "first run: window after $(($(e2e_ms) - t0)) ms"
for f in $file_list; do
    cmp -s "$assets/$f" "$data/$f" || e2e_fail "~/.local/share/zenkora/$f is missing or differs"
done
e2e_well_empty "$WID" || e2e_fail "the installed game does not show its empty well"
e2e_stop_pid "$GAME_PID"
e2e_log "first run: ~/.local/share/zenkora holds the assets and h-score.txt"

# The player's best score survives the next start; a lost tile comes back.
printf '"HighScore=4321"\r\n' >"$data/h-score.txt"
cp "$data/h-score.txt" "$work/h-score.player"
rm "$data/n5.bmp"
ZK_ENV="SDL_AUDIODRIVER=dummy" e2e_launch "$work"
e2e_main_window 10
e2e_stop_pid "$GAME_PID"
cmp -s "$work/h-score.player" "$data/h-score.txt" || e2e_fail "the launcher overwrote the player's h-score.txt"
cmp -s "$assets/n5.bmp" "$data/n5.bmp" || e2e_fail "the launcher did not restore n5.bmp"
e2e_log "second run: the player's h-score.txt kept byte for byte, a deleted tile restored"
e2e_log "PASS"
exit 0
