#!/bin/sh
# Starts the game in the player's own folder: the game reads its files by bare
# name from its working directory, and the best score must outlive updates.
set -eu
prefix=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
bin=${ZENKORA_BIN:-$prefix/@ZENKORA_REL_BIN@}
assets=${ZENKORA_ASSETS:-$prefix/@ZENKORA_REL_ASSETS@}
# Questions answered on the terminal need no game folder.
case " $* " in
*" --help "* | *" -h "* | *" --version "*) exec "$bin" "$@" ;;
esac
home=${XDG_DATA_HOME:-${HOME:?}/.local/share}/zenkora
mkdir -p "$home"
for f in "$assets"/*.bmp "$assets"/*.wav "$assets"/*.png; do
    [ -e "$f" ] || continue
    cmp -s "$f" "$home/${f##*/}" 2>/dev/null || cp -f "$f" "$home/"
done
# Never overwrite a player's score.
[ -e "$home/h-score.txt" ] || cp "$assets/h-score.txt" "$home/h-score.txt"
cd "$home"
exec "$bin" "$@"
