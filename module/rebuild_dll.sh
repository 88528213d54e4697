#!/usr/bin/env bash
# Builds the game-object module as one translation unit: each "import a.b" line of the .ls
# sources becomes an include of a/b.ls, then main.ls is compiled into a shared library.
#   rebuild_dll.sh [GAME_DIR [OUTPUT]]
# GAME_DIR defaults to the folder above this one, OUTPUT to actor_new.so. Compiler messages
# go to standard output with the sources' own paths; OUTPUT appears only on success.
# The module binds its own definitions first (-Bsymbolic): its operator new is its own.
# ACTOR_DEPFILE names a make-style dependency file to write (for the build system);
# VELTMOOR_SOURCE_ROOT overrides where the game's headers are found.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=${VELTMOOR_SOURCE_ROOT:-$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)}
game_dir=${1:-$here/..}
out=${2:-actor_new.so}
cxx=${CXX:-g++}

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp" "$game_dir/.$out.part"' EXIT
(cd "$here" && find . -name '*.ls' -type f) | while read -r f; do
    mkdir -p "$tmp/$(dirname "$f")"
    awk '/^import / { n = $2; gsub(/\./, "/", n); print "#include \"" n ".ls\""; next } { print }' \
        "$here/$f" >"$tmp/$f"
done

flags=()
[ -n "${ACTOR_DEPFILE:-}" ] && flags+=(-MD -MF "$tmp/deps" -MT "$game_dir/$out")
# g++ marks inline statics unique, which keeps a library mapped after dlclose; the next
# load of actor.so would then get the old module back.
"$cxx" -fno-gnu-unique -E -x c++ /dev/null >/dev/null 2>&1 && flags+=(-fno-gnu-unique)
"$cxx" -std=c++20 -O2 -fPIC -shared -fvisibility=hidden \
    -Wall -Wextra -Wno-unused-parameter -ffp-contract=off -fno-fast-math \
    -Wl,-Bsymbolic -I"$root" -iquote "$tmp" "${flags[@]}" -x c++ "$tmp/main.ls" -o "$game_dir/.$out.part" 2>&1 |
    sed "s@$tmp/@$here/@g"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ]; then
    echo "actor module: the compiler stopped with code $rc"
    exit 1
fi
[ -n "${ACTOR_DEPFILE:-}" ] && sed "s@$tmp/@$here/@g" "$tmp/deps" >"$ACTOR_DEPFILE"
mv -f "$game_dir/.$out.part" "$game_dir/$out" || exit 1
echo "actor module: built $out"
