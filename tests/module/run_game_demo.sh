#!/usr/bin/env bash
# Runs the game's demo autopilot headless and checks from its log that every spell was
# cast, each landed with its effect on the land or water, monsters died, and the game
# closed cleanly. Usage: run_game_demo.sh GAME [FRAMES]
set -u
game=$1
frames=${2:-300} # the demo's clock moves one simulation step a frame: 15 s of game
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
export VELTMOOR_CONFIG_DIR=$cfg
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" # driver libraries; unit tests check ours
out=$(timeout -k 5 560 "$game" -360 -gfx-low --demo --seed=1 --frames="$frames" 2>&1)
rc=$?
fail() {
    echo "$out" | grep -E "^(cast|impact|monster died|message|demo)" | tail -60
    echo "FAIL: $1"
    exit 1
}
[ $rc -eq 0 ] || fail "game exited with $rc"
grep -qF "closed all systems" <<<"$out" || fail "no orderly shutdown"
grep -qF "demo: autopilot on" <<<"$out" || fail "the autopilot never started"
for spell in fireball water-ball fault house meteor hill pit water-source water-sink castle use-portal; do
    grep -qE "^cast $spell \(" <<<"$out" || fail "never cast $spell"
done
# The land moved where these landed (a non-zero land change in their impact line) ...
for spell in fireball fault house meteor hill pit castle; do
    grep -E "^impact $spell at " <<<"$out" | grep -qvE "land [+-]0\.00 " ||
        fail "$spell did not change the land"
done
# ... and water came where these landed.
for spell in water-ball water-source; do
    grep -E "^impact $spell at " <<<"$out" | grep -qE "water \+[0-9]*[1-9]" ||
        fail "$spell added no water"
done
grep -qE "^impact water-sink at " <<<"$out" || fail "the water sink never landed"
grep -qE "^monster died: " <<<"$out" || fail "no monster died"
echo "demo ok: $(grep -cE '^cast ' <<<"$out") casts, $(grep -cE '^monster died' <<<"$out") monsters died"
