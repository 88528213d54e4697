#!/usr/bin/env bash
# Runs game for 60 frames and checks its exit code and start-up/shutdown log lines.
# Usage: run_game_smoke.sh GAME [corrupt]
set -u
game=$1
mode=${2:-}
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
export VELTMOOR_CONFIG_DIR=$cfg
# In sanitizer builds, leaks of the window system and GL driver libraries (loaded and
# unloaded at run time, so unsymbolizable) would drown ours; unit tests check leaks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
if [ "$mode" = corrupt ]; then
    printf 'flags int 4\n\377\376garbage\nland_shadows int 99999999999\ngfx_quality str "lo' >"$cfg/settings"
fi
out=$(timeout -k 5 240 "$game" -360 --frames=60 --seed=1 2>&1)
rc=$?
echo "$out"
[ $rc -eq 0 ] || { echo "game exited with $rc"; exit 1; }
for line in "app path: '" "total start-up time: " "closing..." "closed all systems"; do
    grep -qF "$line" <<<"$out" || { echo "missing log line: $line"; exit 1; }
done
echo "smoke ok"
