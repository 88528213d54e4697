#!/usr/bin/env bash
# Builds the script VM's libFuzzer targets with clang 14 (fuzzer, address and undefined
# sanitizers) in build/fuzz and runs each for a short fixed time. A crash makes this fail and
# leaves the reproducer in build/fuzz/artifacts.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
OUT="$ROOT/build/fuzz"
SECONDS_EACH=${FUZZ_SECONDS:-30}
CXX=$(command -v clang++-14 || command -v clang++)
FLAGS=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer -I"$ROOT/squirrel/include")
mkdir -p "$OUT/obj" "$OUT/artifacts"

objs=()
for src in "$ROOT"/squirrel/src/*.cpp; do
    obj="$OUT/obj/$(basename "${src%.cpp}").o"
    if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find "$ROOT/squirrel" -name '*.h' -newer "$obj")" ]; then
        "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
    fi
    objs+=("$obj")
done

status=0
for target in fuzz_compile fuzz_run; do
    "$CXX" "${FLAGS[@]}" "$HERE/$target.cpp" "${objs[@]}" -o "$OUT/$target"
    corpus="$OUT/corpus_$target"
    mkdir -p "$corpus"
    seeds=("$HERE/seeds")
    [ -d "$ROOT/../shared/squirrel-conformance" ] && seeds+=("$ROOT/../shared/squirrel-conformance")
    echo "fuzzing $target for ${SECONDS_EACH}s"
    if ! ASAN_OPTIONS=detect_leaks=1 "$OUT/$target" -max_total_time="$SECONDS_EACH" -max_len=4096 \
        -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 -artifact_prefix="$OUT/artifacts/" \
        "$corpus" "${seeds[@]}" >"$OUT/$target.log" 2>&1; then
        tail -40 "$OUT/$target.log"
        echo "$target found a failure (see $OUT/artifacts)" >&2
        status=1
    fi
done
exit $status
