#!/usr/bin/env bash
# Runs game for 60 frames and checks its exit code and start-up/shutdown log lines.
# Usage: run_game_smoke.sh GAME [corrupt|oldgl]
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
if [ "$mode" = oldgl ]; then
    # A driver below OpenGL 4.5 (Mesa told to offer 3.3): a clear stop, not a failed assert.
    out=$(MESA_GL_VERSION_OVERRIDE=3.3 timeout -k 5 120 "$game" -360 --frames=5 2>&1)
    rc=$?
    echo "$out"
    [ $rc -eq 100 ] || { echo "game exited with $rc, not 100"; exit 1; }
    for line in "Veltmoor needs OpenGL 4.5 (core profile)." "This system offers OpenGL 3.3" \
        "closed all systems"; do
        grep -qF "$line" <<<"$out" || { echo "missing log line: $line"; exit 1; }
    done
    grep -q "ASSERT" <<<"$out" && { echo "an assertion instead of the device message"; exit 1; }
    echo "old GL ok"
    exit 0
fi
out=$(timeout -k 5 240 "$game" -360 --frames=60 --seed=1 2>&1)
rc=$?
echo "$out"
[ $rc -eq 0 ] || { echo "game exited with $rc"; exit 1; }
for line in "app path: '" "total start-up time: " "closing..." "closed all systems"; do
    grep -qF "$line" <<<"$out" || { echo "missing log line: $line"; exit 1; }
done
echo "smoke ok"
