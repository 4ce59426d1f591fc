#!/usr/bin/env bash
# Fuzzes the high-score reader for the given number of seconds (default 60) with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and reports the count.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$root/bench/fuzz_highscore.cpp" "$root/persist/HighScore.cpp" -o "$work/fuzz"
mkdir -p "$work/corpus"
printf '"HighScore=0"\r\n' > "$work/corpus/zero"
printf '"HighScore=120"\r\n' > "$work/corpus/written"
printf 'x\n"HighScore=-5"\r"HighScore=7' > "$work/corpus/mixed"
printf '"HighScore=2147483647"' > "$work/corpus/max"
set +e
"$work/fuzz" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 "$work/corpus" > "$work/log" 2>&1
rc=$?
set -e
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo 0)
if [ "$rc" -ne 0 ]; then
    tail -40 "$work/log"
    echo "fuzz-highscore: FAILED after $runs executions"
    exit 1
fi
echo "fuzz-highscore: $runs executions in ${seconds}s, no crash, leak or hang"
