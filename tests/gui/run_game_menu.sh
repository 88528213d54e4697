#!/usr/bin/env bash
# Drives the game's menus with scripted input and checks what reached the settings store:
# Escape opens the game menu, the arrows and Enter reach the options screen and switch
# object shadows off, a mouse click picks "Off" for the land shadows, Escape twice goes
# back to the game. Usage: run_game_menu.sh GAME
set -u
game=$1
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
export VELTMOOR_CONFIG_DIR=$cfg
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
# 1280 x 720: a unit is 0.72 pixels; "Off" sits 250 units right of and 105 below the centre.
steps="20:k27,23:k40,25:k40,27:k13,29:k40,31:k40,33:k40,35:k40,37:k13"
steps="$steps,40:m820;436,41:c820;436,44:k27,47:k27,50:q"
out=$(timeout -k 5 240 "$game" -720 --seed=1 --frames=100000 "--input=$steps" 2>&1)
rc=$?
echo "$out"
[ $rc -eq 0 ] || { echo "game exited with $rc"; exit 1; }
settings=$(cat "$cfg/settings" 2>/dev/null)
echo "$settings"
flags=$(sed -n 's/^flags int \([0-9]*\)$/\1/p' <<<"$settings")
[ -n "$flags" ] || { echo "no flags stored"; exit 1; }
(( (flags & 8) == 0 )) || { echo "object shadows still on (flags $flags)"; exit 1; }
grep -qx 'land_shadows int 0' <<<"$settings" || { echo "land shadows not off"; exit 1; }
grep -qx 'gfx_quality str "high"' <<<"$settings" || { echo "quality not kept"; exit 1; }
grep -qF "ERROR" <<<"$out" && { echo "errors in the log"; exit 1; }
echo "menu ok"
