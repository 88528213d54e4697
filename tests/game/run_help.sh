#!/usr/bin/env bash
# --help and --version of both programs: printed without a window, exit 0.
# Usage: run_help.sh GAME LAUNCHPAD
set -u
fail() { echo "$*"; exit 1; }
for prog in "$1" "$2"; do
    name=$(basename "$prog")
    out=$(SDL_VIDEODRIVER=no-such-driver timeout -k 5 30 "$prog" --version 2>&1) || fail "$name --version failed: $out"
    [ "$out" = "$name (Veltmoor) 0.10" ] || fail "$name --version printed: $out"
    out=$(SDL_VIDEODRIVER=no-such-driver timeout -k 5 30 "$prog" -720 --help 2>&1) || fail "$name --help failed: $out"
    for want in "Usage: $name [switches]" "--help, --version" "VELTMOOR_CONFIG_DIR" \
        "Settings file: $VELTMOOR_CONFIG_DIR/settings"; do
        grep -qF -- "$want" <<<"$out" || fail "$name --help lacks '$want':"$'\n'"$out"
    done
    grep -q "app path" <<<"$out" && fail "$name started instead of printing its help"
done
grep -qF -- "-gfx-high, -gfx-low" <<<"$(timeout 30 "$1" --help)" || fail "game --help lacks its switches"
grep -qF -- "VELTMOOR_GAME_PATH" <<<"$(timeout 30 "$2" --help)" || fail "launchpad --help lacks its environment"
echo "help ok"
