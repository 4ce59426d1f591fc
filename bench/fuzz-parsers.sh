#!/usr/bin/env bash
# Fuzzes the reader of the file a player can change, the high-score file, for the
# given number of seconds (default 60), with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and reports the counts. The sound files are read by
# libsndfile.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# fuzz NAME SOURCES...: builds and runs one target on the corpus in $work/NAME.
fuzz() {
    local name=$1 rc runs
    shift
    clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$root" "$@" -o "$work/$name.bin"
    set +e
    "$work/$name.bin" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 "$work/$name" >"$work/$name.log" 2>&1
    rc=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$' || echo 0)
    if [ "$rc" -ne 0 ]; then
        tail -40 "$work/$name.log"
        echo "fuzz $name: FAILED after $runs executions"
        exit 1
    fi
    echo "fuzz $name: $runs executions in ${seconds}s, no crash, leak or hang"
}

mkdir -p "$work/highscore"
printf '"HighScore=0"\r\n' > "$work/highscore/zero"
printf '"HighScore=120"\r\n' > "$work/highscore/written"
printf 'x\n"HighScore=-5"\r"HighScore=7' > "$work/highscore/mixed"
printf '"HighScore=2147483647"' > "$work/highscore/max"
fuzz highscore "$root/bench/fuzz_highscore.cpp" "$root/persist/HighScore.cpp"
