# Sourced by the module-swap program tests: a private game folder in $work whose actor.so
# and module sources the test may replace and edit, with the rest linked to GAME_DIR.
# Sets game_dir, work, pid and log; cleans up (and kills $pid) on exit.
game_dir=$1
export VELTMOOR_SOURCE_ROOT=$2
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export VELTMOOR_CONFIG_DIR=$work/config
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
for entry in "$game_dir"/*; do
    name=$(basename "$entry")
    case "$name" in
    game | actor.so) cp "$entry" "$work/" ;;
    module | actor_new.so | cache | shots) ;;
    *) ln -s "$entry" "$work/$name" ;;
    esac
done
mkdir -p "$work/cache" "$work/shots"
cp -r "$(readlink -f "$game_dir/module")" "$work/module"
log=$work/log
