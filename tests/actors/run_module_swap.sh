#!/usr/bin/env bash
# A module edit while the game runs: the edit is rebuilt and swapped in with the live
# player where it was; a broken edit shows the compiler's errors and the old module runs on.
# Usage: run_module_swap.sh GAME_DIR SOURCE_ROOT
set -u
. "$(dirname "$0")/../module_game_folder.sh" "$@"
player=$work/module/actors/player.ls

fail() {
    echo "FAILED: $*"
    echo "---- game log (module lines)"
    grep -E "actor|module|player|rebuild|error|DLL" "$log" | tail -40
    exit 1
}
wait_for() { # pattern seconds
    for _ in $(seq $((${2} * 10))); do
        grep -qF -- "$1" "$log" && return 0
        kill -0 "$pid" 2>/dev/null || fail "game ended while waiting for '$1'"
        sleep 0.1
    done
    fail "no '$1' within $2 s"
}
edit() { # file times have whole seconds: make sure the edit is a new one
    sleep 1.1
    "$@"
}

"$work/game" -360 -gfx-low --seed=1 --frames=1000000 --stats >"$log" 2>&1 &
pid=$!
wait_for "total start-up time" 240
placed=$(grep -o "player placed at .*" "$log" | tail -1 | sed 's/player placed at //')
[ -n "$placed" ] || fail "the module placed no player"

edit sed -i 's/player flight 1/player flight 2/' "$player"
wait_for "actor module linked (player flight 2)" 120
grep -qF "actor reload ok" "$log" || fail "no 'actor reload ok'"
linked=$(grep -o "linked (player flight 2): .*" "$log" | sed 's/.*player at //')
# A wyvern may knock the idle player out while a slow machine rebuilds; that lifts it by
# the game's knock-out height, which the swap must keep like any other position.
knocks=$(sed -n '1,/linked (player flight 2)/p' "$log" | grep -c "Knocked out by")
expected=$(awk -v p="$placed" -v k="$knocks" 'BEGIN { split(p, c, " ");
    printf "%.3f %.3f %.3f", c[1], c[2] + 25 * k, c[3] }')
[ "$linked" = "$expected" ] || fail "the player moved from $expected to $linked in the swap"

edit sh -c "echo 'this is not C++' >>'$player'"
wait_for "!!! failed to rebuild actor DLL" 120
sleep 2 # the old module keeps the game going
kill -0 "$pid" 2>/dev/null || fail "the game stopped after a broken build"
kill -TERM "$pid"
wait "$pid"
rc=$?
pid=
[ $rc -eq 0 ] || fail "game exited with $rc"
screen=$(sed -n '/^on-screen error message:/,$p' "$log")
grep -q "player.ls:[0-9]*:[0-9]*: error:" <<<"$screen" || fail "no compiler error line on screen"
grep -qF "actor rebuild failed!!!" <<<"$screen" || fail "no 'actor rebuild failed!!!' on screen"
grep -qF "closed all systems" "$log" || fail "no orderly shutdown"
grep -c "actor module linked" "$log" | grep -qx 2 || fail "the broken build was bound"
echo "module swap ok (player at $placed)"
