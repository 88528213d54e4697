#!/usr/bin/env bash
# A module rebuild in the middle of a demo: the new module takes over the live game, the
# wizard's casts and kills so far included, and the demo goes on casting.
# Usage: run_demo_swap.sh GAME_DIR SOURCE_ROOT
set -u
. "$(dirname "$0")/../module_game_folder.sh" "$@"

fail() {
    echo "FAILED: $*"
    grep -E "actor|game state|^cast|rebuild|error|DLL" "$log" | tail -40
    exit 1
}
wait_for() { # pattern seconds [count]
    for _ in $(seq $((${2} * 10))); do
        [ "$(grep -cF -- "$1" "$log")" -ge "${3:-1}" ] && return 0
        kill -0 "$pid" 2>/dev/null || fail "game ended while waiting for '$1'"
        sleep 0.1
    done
    fail "no '$1' within $2 s"
}

"$work/game" -360 -gfx-low --demo --seed=1 --frames=1000000 >"$log" 2>&1 &
pid=$!
wait_for "cast " 300 4
sleep 1.1 # file times have whole seconds
sed -i 's/Once per loaded module/Once for each loaded module/' "$work/module/game/play.ls"
wait_for "actor reload ok" 180
wait_for "game state: " 60 2
before=$(grep -cE "^cast " "$log")
resumed=$(grep -o "game state: .*" "$log" | tail -1)
casts=$(sed -E 's/.*objects, ([0-9]+) casts.*/\1/' <<<"$resumed")
objects=$(sed -E 's/game state: ([0-9]+) objects.*/\1/' <<<"$resumed")
[ "$casts" -ge 4 ] || fail "the new module found $casts casts: the wizard was not kept"
[ "$objects" -ge 2 ] || fail "the new module found $objects objects"
wait_for "cast " 120 $((before + 2))
kill -TERM "$pid"
wait "$pid"
rc=$?
pid=
[ $rc -eq 0 ] || fail "game exited with $rc"
grep -qF "closed all systems" "$log" || fail "no orderly shutdown"
echo "demo swap ok ($resumed)"
