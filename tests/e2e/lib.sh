# Shared by the end-to-end scripts; sourced. Each script gets a temp folder, its own
# locale, home and data folders, its own Xvfb and, when it asks, its own PulseAudio;
# everything started is stopped, and the folder removed, however the script ends.
# Usage of every script: SCRIPT ZENKORA ASSETS_DIR [BUILD_DIR CMAKE]
set -u
zenkora=$(readlink -f "${1:?usage: $0 ZENKORA ASSETS_DIR}")
assets=$(readlink -f "${2:?}")
pids=()
work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-e2e.XXXXXX") || exit 1
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/game.log" ] && sed 's/^/  game: /' "$work/game.log" >&2
    [ -z "${xvfb:-}" ] || kill -0 "$xvfb" 2>/dev/null || echo "  the X server $DISPLAY has ended: $(tail -n3 "$work/xvfb.log")" >&2
    exit 1
}
for tool in Xvfb xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

# Nothing of the caller's session is used.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_CONFIG_HOME PULSE_SERVER PULSE_SINK
export LANG=C.UTF-8 LC_ALL=C.UTF-8 HOME=$work/home XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
player=$XDG_DATA_HOME/zenkora

# A busy machine slows every step but never makes a right answer wrong: a wait for
# something that must come gives up only after $patience seconds, which nothing that
# works comes near; ctest's own time-out is the bound.
patience=120
# wait_for COMMAND...: COMMAND succeeds, tried again and again for $patience seconds.
wait_for() {
    local end=$((SECONDS + patience))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.05
    done
}

# A display of our own: the X server picks a number no other server holds and tells it
# through a pipe. A lock file in our /tmp proves nothing: a chroot shares the host's
# abstract sockets, where another test's server may answer to the same number. It never
# resets: a reset, when the last client has gone, refuses the next one that comes meanwhile
# (a game started just after another was stopped could not open the display).
mkfifo "$work/display"
width=1024  # the screen is 1024 x 768
Xvfb -displayfd 3 -screen 0 "${width}x768x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
pids+=($xvfb)
read -r -t "$patience" n <"$work/display" && [ -n "$n" ] || fail "Xvfb did not start: $(tail -n3 "$work/xvfb.log")"
export DISPLAY=:$n

# start_pulse: a private sound server with a null sink (skips when there is none).
start_pulse() {
    command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --load=module-null-sink \
        --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
    pulse=$!
    pids+=($pulse)
    wait_for pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
}

# launch ARGS...: the game, started from / (its output in $work/game.log); $game.
launch() {
    (cd / && exec "$zenkora" "$@") >>"$work/game.log" 2>&1 &
    game=$!
    pids+=($game)
}

stop_game() { kill "$game" 2>/dev/null; wait "$game" 2>/dev/null; }

# window TITLE: the id of a shown window with exactly that title; none once the game has ended.
window() {
    _shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep . || ! kill -0 "$game" 2>/dev/null; }
    local w
    w=$(wait_for _shown "$1") && [ -n "$w" ] && echo "$w"
}

# exit_status [SECONDS]: the game's exit status, or 124 when it still runs after SECONDS
# (by default $patience).
exit_status() {
    local end=$((SECONDS + ${1:-$patience}))
    while kill -0 "$game" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.05; done
    kill -0 "$game" 2>/dev/null && return 124
    wait "$game"
}

# shows WINDOW X Y COLOUR: the window shows that colour there (ImageMagick's name of it,
# e.g. "srgb(255,0,255)"), now or after a paint still due.
shows() {
    _pixel_is() { [ "$(import -window "$1" -crop "1x1+$2+$3" -format '%[pixel:p{0,0}]' info: 2>/dev/null)" = "$4" ]; }
    wait_for _pixel_is "$@"
}

# answer TITLE: presses Return in the box with that title, which must show.
answer() {
    local box
    box=$(window "$1") || fail "no '$1' box"
    xdotool windowfocus --sync "$box" key Return 2>/dev/null
}

# install_tree: `cmake --install` of the build into $work/prefix, whose program is then
# the one run; a tree the player (or uid 65534) can reach from anywhere.
install_tree() {
    "${4:-cmake}" --install "${3:?build folder}" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
        fail "cmake --install: $(tail -3 "$work/install.log")"
    chmod 755 "$work"
    zenkora=$work/prefix/bin/zenkora
}

# start_weston NAME [ARGS...]: a weston of our own on the socket NAME in $XDG_RUNTIME_DIR,
# its log in $work/weston-NAME.log (skips when there is none).
start_weston() {
    command -v weston >/dev/null || { echo "SKIP: weston is not installed"; exit 77; }
    local name=$1
    shift
    weston --socket="$name" "$@" >"$work/weston-$name.log" 2>&1 &
    pids+=($!)
    wait_for test -S "$XDG_RUNTIME_DIR/$name" || fail "weston did not start: $(tail -3 "$work/weston-$name.log")"
}

# start_pipewire: PipeWire and its session manager under a D-Bus session of their own,
# then its pulse server (start_pipewire_pulse; $pulse). The null sink is PipeWire's own,
# made from its configuration, so that it outlives a restart of the pulse server. Left
# out of our copies of the configuration: the RT module, which as root would raise the
# threads to real-time priority on a shared machine, and Bluetooth, whose login monitor
# ends the session manager where systemd does not run (CI's root).
start_pipewire() {
    local tool conf
    for tool in pipewire wireplumber pipewire-pulse dbus-run-session pactl; do
        command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
    export XDG_CONFIG_HOME=$work/config
    mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d" "$XDG_CONFIG_HOME/wireplumber"
    for conf in pipewire/pipewire.conf pipewire/pipewire-pulse.conf wireplumber/wireplumber.conf; do
        sed -e 's/name = libpipewire-module-rt$/name = libpipewire-module-rt-left-out/' \
            -e '/name = bluetooth.lua, type = config.lua/d' "/usr/share/$conf" >"$XDG_CONFIG_HOME/$conf"
    done
    cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/null-sink.conf" <<'CONF'
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "null" media.class = Audio/Sink
               audio.position = [ FL FR ] monitor.channel-volumes = true object.linger = true } }
]
CONF
    dbus-run-session -- sh -c 'echo "$DBUS_SESSION_BUS_ADDRESS" >"$1/bus"
        pipewire & echo $! >"$1/pipewire.pid"
        while [ ! -S "$XDG_RUNTIME_DIR/pipewire-0" ]; do sleep 0.05; done
        wireplumber & echo $! >"$1/wireplumber.pid"
        wait' sh "$work" >"$work/pipewire.log" 2>&1 &
    # Not stopped itself: it ends its bus once the two have ended.
    wait_for test -s "$work/wireplumber.pid" || fail "PipeWire did not start: $(tail -3 "$work/pipewire.log")"
    pids+=("$(cat "$work/pipewire.pid")" "$(cat "$work/wireplumber.pid")")
    export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus")
    start_pipewire_pulse
}

start_pipewire_pulse() {
    pipewire-pulse >>"$work/pipewire-pulse.log" 2>&1 &
    pulse=$!
    pids+=($pulse)
    _sink() { pactl list short sinks 2>/dev/null | grep -qw null; }
    wait_for _sink || fail "PipeWire's pulse server did not start: $(tail -3 "$work/pipewire-pulse.log")"
}

# peak SECONDS: the loudest sample of that much of what the null sink plays, 0 to 1.
# Counted in bytes, not on the clock: a busy machine may start the recorder late.
peak() {
    timeout "$patience" parec --latency-msec=20 --device=null.monitor --raw --format=s16le --channels=1 --rate=8000 |
        head -c $(($1 * 16000)) >"$work/heard.raw"
    sox -t raw -r 8000 -e signed -b 16 -c 1 "$work/heard.raw" -n stat 2>&1 | awk '/^Maximum amplitude/ { print $3 }'
}
loud() { awk -v p="${1:-0}" 'BEGIN { exit !(p > 0.05) }'; }
