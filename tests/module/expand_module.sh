#!/usr/bin/env bash
# Copies the module's .ls sources with each "import a.b" line turned into an include of
# a/b.ls, as rebuild_dll.sh compiles them, so tests can compile the module into themselves.
#   expand_module.sh MODULE_DIR OUT_DIR
set -eu
src=$1
out=$2
rm -rf "$out"
(cd "$src" && find . -name '*.ls' -type f) | while read -r f; do
    mkdir -p "$out/$(dirname "$f")"
    awk '/^import / { n = $2; gsub(/\./, "/", n); print "#include \"" n ".ls\""; next } { print }' \
        "$src/$f" >"$out/$f"
done
