# Shared by the end-to-end scripts; sourced, never run on its own.
#
# Every script gets a temp folder, its own Xvfb on a free display and, where it
# needs one, its own PulseAudio. Everything it starts is recorded here and stopped
# by PID when the script ends, however it ends. Set ZENKORA_E2E_KEEP to a folder to
# keep the screenshots and logs of a run there.

set -u

E2E_PIDS=()
E2E_NAME=${E2E_NAME:-e2e}
E2E_FAILED=0
work=""

e2e_log() { printf '%s\n' "$*"; }
e2e_fail() {
    printf 'FAIL: %s\n' "$*" >&2
    E2E_FAILED=1
    exit 1
}

# Milliseconds on the wall clock, without a fork.
e2e_ms() {
    local t=${EPOCHREALTIME/./}
    echo $((t / 1000))
}

e2e_require() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool is not installed"
            exit 77
        fi
    done
}

e2e_stop_pid() {
    local pid=$1 i
    [ -n "$pid" ] || return 0
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
    kill -TERM "$pid" 2>/dev/null
    for i in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

e2e_cleanup() {
    local i
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        e2e_stop_pid "${E2E_PIDS[$i]}"
    done
    if [ -n "$work" ] && [ -d "$work" ]; then
        if [ -n "${ZENKORA_E2E_KEEP:-}" ]; then
            mkdir -p "$ZENKORA_E2E_KEEP/$E2E_NAME"
            cp -r "$work/shots/." "$ZENKORA_E2E_KEEP/$E2E_NAME/" 2>/dev/null
            cp "$work"/*.log "$ZENKORA_E2E_KEEP/$E2E_NAME/" 2>/dev/null
        fi
        if [ "$E2E_FAILED" -ne 0 ]; then
            for i in "$work"/*.log; do
                [ -s "$i" ] || continue
                echo "---- ${i##*/} (last lines)"
                tail -n 15 "$i"
            done
        fi
        chmod -R u+rwX "$work" 2>/dev/null
        rm -rf "$work"
    fi
}

# e2e_setup NAME: temp folder, traps, a private runtime dir and home; makes the
# paths of the programs and assets absolute.
e2e_setup() {
    E2E_NAME=$1
    zenkora=$(readlink -f "$zenkora")
    pilot=$(readlink -f "$pilot")
    assets=$(readlink -f "$assets")
    [ -x "$zenkora" ] || { echo "FAIL: no program at $zenkora"; exit 1; }
    work=$(mktemp -d "${TMPDIR:-/tmp}/zenkora-e2e-$1.XXXXXX") || exit 1
    trap e2e_cleanup EXIT
    trap 'E2E_FAILED=1; exit 1' INT TERM HUP
    mkdir -p "$work/shots" "$work/home"
    mkdir -m 700 "$work/run"
    export HOME=$work/home LANG=C.UTF-8
    export XDG_RUNTIME_DIR=$work/run
    unset XDG_DATA_HOME XDG_CONFIG_HOME WAYLAND_DISPLAY QT_QPA_PLATFORM QT_SCALE_FACTOR LC_ALL
    unset PULSE_SERVER PULSE_SINK PULSE_SOURCE
    # No session bus: nothing may start a bus daemon of its own on our X server.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
}

# Starts Xvfb on a free display and exports DISPLAY. The server must answer and be
# ours (a mark on its root window) before anything runs on it; a display number
# that something else on the machine also answers to gets a second try.
E2E_MARK=""
e2e_start_x() {
    local attempt fdfile n i pid mark=zenkora-e2e-$$-$RANDOM
    E2E_MARK=$mark
    for attempt in 1 2 3; do
        fdfile=$work/display-$attempt
        n=""
        Xvfb -displayfd 3 -screen 0 1024x768x24 -ac -nolisten tcp -noreset 3>"$fdfile" >>"$work/xvfb.log" 2>&1 &
        pid=$!
        E2E_PIDS+=("$pid")
        for i in $(seq 200); do
            n=$(head -n1 "$fdfile" 2>/dev/null)
            [ -n "$n" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        if [ -n "$n" ]; then
            export DISPLAY=:$n
            for i in $(seq 50); do
                xprop -root -f _ZENKORA_E2E 8s -set _ZENKORA_E2E "$mark" 2>/dev/null && break
                sleep 0.1
            done
            if xprop -root _ZENKORA_E2E 2>/dev/null | grep -q "\"$mark\""; then
                echo "Xvfb pid $pid on display :$n" >>"$work/xvfb.log"
                return 0
            fi
            echo "display :$n does not answer as ours; trying again" >>"$work/xvfb.log"
        fi
        e2e_stop_pid "$pid"
    done
    e2e_fail "Xvfb did not start"
}

# e2e_game_dir DIR: a folder holding copies of every asset.
e2e_game_dir() {
    mkdir -p "$1"
    cp "$assets"/*.bmp "$assets"/*.wav "$assets"/zenkora.png "$assets"/h-score.txt "$1"/
}

# e2e_launch DIR ARGS...: starts the game from DIR with DIR as the player's folder
# (DIR.data/zenkora links to it); with DIR empty, from / in the environment as it is.
# Log in $work/game.log; GAME_PID. ZK_ENV may hold extra "NAME=value" words for env,
# ZK_WRAP a command in front.
GAME_PID=""
e2e_launch() {
    local dir=${1:-/}
    shift
    [ "$dir" = / ] || { mkdir -p "$dir.data" && ln -sfn "$dir" "$dir.data/zenkora"; }
    (cd "$dir" && { [ "$dir" = / ] || export XDG_DATA_HOME=$dir.data; } && exec env ${ZK_ENV:-} ${ZK_WRAP:-} "$zenkora" "$@") \
        >>"$work/game.log" 2>&1 &
    GAME_PID=$!
    E2E_PIDS+=("$GAME_PID")
}

# e2e_main_window SECONDS: sets WID to the game's mapped main window.
WID=""
e2e_main_window() {
    local rc
    WID=$(e2e_wait_window '^Zenkora Ver\. 1$' "$1" "$GAME_PID")
    rc=$?
    case $rc in
    0) ;;
    2)
        if xprop -root _ZENKORA_E2E 2>/dev/null | grep -q "\"$E2E_MARK\""; then
            e2e_fail "the program ended before its window showed"
        fi
        e2e_fail "the program ended before its window showed; display $DISPLAY no longer answers as ours"
        ;;
    *) e2e_fail "no window 'Zenkora Ver. 1' within $1 s" ;;
    esac
}

# e2e_wait_window REGEX SECONDS [PID]: prints the id of a mapped window whose name
# matches. Returns 1 on timeout, 2 when PID ended first.
e2e_wait_window() {
    local name=$1 limit=$(($2 * 1000)) pid=${3:-} start wid
    start=$(e2e_ms)
    while :; do
        wid=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1)
        if [ -n "$wid" ]; then
            echo "$wid"
            return 0
        fi
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            return 2
        fi
        [ $(($(e2e_ms) - start)) -lt "$limit" ] || return 1
        sleep 0.03
    done
}

# e2e_wait_unmapped REGEX SECONDS: until no mapped window matches.
e2e_wait_unmapped() {
    local name=$1 limit=$(($2 * 1000)) start
    start=$(e2e_ms)
    while xdotool search --onlyvisible --name "$name" >/dev/null 2>&1; do
        [ $(($(e2e_ms) - start)) -lt "$limit" ] || return 1
        sleep 0.03
    done
    return 0
}

# e2e_wait_exit PID SECONDS: the exit status, or 124 on timeout.
e2e_wait_exit() {
    local pid=$1 limit=$(($2 * 1000)) start rc
    start=$(e2e_ms)
    while kill -0 "$pid" 2>/dev/null; do
        [ $(($(e2e_ms) - start)) -lt "$limit" ] || return 124
        sleep 0.02
    done
    wait "$pid"
    rc=$?
    return "$rc"
}

# e2e_answer WID: presses Return in a message box.
e2e_answer() {
    xdotool windowfocus "$1" 2>/dev/null
    xdotool key Return
}

# e2e_crop IMAGE X Y W H OUT
e2e_crop() {
    convert "$1" -crop "${4}x${5}+${2}+${3}" +repage "$6"
}

# e2e_ae IMAGE X Y W H REFERENCE: prints how many pixels differ.
e2e_ae() {
    local crop=$work/crop-$$.png out
    e2e_crop "$1" "$2" "$3" "$4" "$5" "$crop"
    out=$(compare -metric AE "$crop" "$6" null: 2>&1)
    rm -f "$crop"
    echo "${out%% *}"
}

# The empty well: nine by nine n0 tiles, for comparing the well in one go.
e2e_empty_well() {
    [ -f "$work/empty-well.png" ] || convert -size 297x297 "tile:$assets/n0.bmp" "$work/empty-well.png"
    echo "$work/empty-well.png"
}

# Window coordinates of well cell (column, row): picSpace at (16, 16), well at (32, 96).
e2e_cell_x() { echo $((16 + 32 + $1 * 33)); }
e2e_cell_y() { echo $((16 + 96 + $1 * 33)); }

# e2e_well_empty WID: the whole well shows n0 (retries for up to 5 s: a repaint may be due).
e2e_well_empty() {
    local wid=$1 start ae shot=$work/well-check.png
    start=$(e2e_ms)
    while :; do
        import -window "$wid" "$shot" 2>/dev/null &&
            ae=$(e2e_ae "$shot" 48 112 297 297 "$(e2e_empty_well)") && [ "$ae" = 0 ] && return 0
        [ $(($(e2e_ms) - start)) -lt 5000 ] || return 1
        sleep 0.1
    done
}

# e2e_lane_moves WID: the UFO lane changes between two screenshots (the idle flight).
e2e_lane_moves() {
    local wid=$1 a=$work/lane-a.png b=$work/lane-b.png ae i
    for i in 1 2 3; do
        import -window "$wid" "$a" && sleep 0.35 && import -window "$wid" "$b" || continue
        e2e_crop "$a" 16 16 369 96 "$a"
        ae=$(e2e_ae "$b" 16 16 369 96 "$a")
        [ "$ae" != 0 ] && return 0
    done
    return 1
}

# e2e_start_game WID: clicks はじめ.
e2e_start_game() {
    xdotool mousemove --window "$1" 468 368 click 1
}

# e2e_drive_until_box SECONDS: drops every block where it enters until a game-over
# box shows; for a game that left the pilot's replay.
e2e_drive_until_box() {
    local limit=$(($1 * 1000)) start
    start=$(e2e_ms)
    while ! xdotool search --onlyvisible --name '^ゲームオーバー$' >/dev/null 2>&1; do
        [ $(($(e2e_ms) - start)) -lt "$limit" ] || return 1
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        xdotool key Down 2>/dev/null
        sleep 0.25
    done
    return 0
}

# e2e_play WID SEED GOAL: plays the seeded game to its game-over box with the pilot,
# which clicks はじめ itself. Sets PLAN (the pilot's summary line of the game) and
# FOLLOWED=1 when the game went exactly as replayed; returns with the box showing.
PLAN=""
FOLLOWED=0
e2e_play() {
    local wid=$1 seed=$2 goal=$3 rc
    FOLLOWED=0
    "$pilot" play --window "$wid" --seed "$seed" --goal "$goal" --assets "$assets" --shots "$work/shots" \
        --start >"$work/pilot.log" 2>"$work/pilot-stderr.log"
    rc=$?
    PLAN=$(sed -n 's/^plan: //p' "$work/pilot.log")
    case $rc in
    0) FOLLOWED=1 ;;
    3)
        e2e_log "note: the game left the replay; dropping blocks until it ends"
        sed 's/^/    pilot: /' "$work/pilot.log"
        e2e_drive_until_box 150 || e2e_fail "no game-over box within 150 s"
        ;;
    *)
        sed 's/^/    pilot: /' "$work/pilot.log" "$work/pilot-stderr.log"
        e2e_fail "the pilot failed ($rc)"
        ;;
    esac
}

# e2e_plan_value KEY: a number from the pilot's summary line.
e2e_plan_value() {
    printf '%s\n' "$PLAN" | tr ' ' '\n' | sed -n "s/^$1=//p"
}
