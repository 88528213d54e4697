#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed game headless: it must
# find its data in share/veltmoor/, write only under the XDG folders and leave the prefix
# as installed. Usage: run_install_test.sh BUILD_DIR
set -u
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "$*"; exit 1; }
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "install failed"; }

id=example.quillfen_games.Veltmoor
for f in bin/game bin/launchpad share/veltmoor/font.tga share/veltmoor/default_font.fnt \
    share/veltmoor/detail.dds share/veltmoor/dr_land.sh share/veltmoor/gen/main.nut \
    share/veltmoor/blendfx.dds share/veltmoor/stone1.mesh share/veltmoor/test/fx.nut lib/veltmoor/actor.so \
    share/applications/$id.desktop share/applications/$id.Launchpad.desktop \
    share/metainfo/$id.metainfo.xml share/icons/hicolor/256x256/apps/veltmoor.png \
    share/icons/hicolor/48x48/apps/veltmoor.png; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
[ -L "$prefix/share/veltmoor/dr_land.sh" ] && fail "data installed as links into the source tree"
ls "$prefix/bin" | grep -qvE '^(game|launchpad)$' && fail "more than the two programs in bin: $(ls "$prefix/bin")"
grep -qx "Exec=$prefix/bin/game" "$prefix/share/applications/$id.desktop" || fail "menu entry does not start $prefix/bin/game"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix"/share/applications/*.desktop || fail "invalid menu entries"
fi
head -c 8 "$prefix/share/icons/hicolor/256x256/apps/veltmoor.png" | od -An -tx1 | grep -q "89 50 4e 47" || fail "icon is no PNG"

touch "$tmp/marker"
sleep 1
export HOME=$tmp/home XDG_CACHE_HOME=$tmp/cache XDG_DATA_HOME=$tmp/data VELTMOOR_CONFIG_DIR=$tmp/config
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
out=$(cd / && timeout -k 5 240 "$prefix/bin/game" -360 --frames=30 --seed=1 2>&1)
rc=$?
[ $rc -eq 0 ] || { echo "$out"; fail "installed game exited with $rc"; }
grep -qF "app path: '$prefix/share/veltmoor/'" <<<"$out" || { echo "$out"; fail "installed game did not take its data from share/veltmoor"; }
grep -qF "closed all systems" <<<"$out" || { echo "$out"; fail "no orderly shutdown"; }
[ -d "$XDG_DATA_HOME/veltmoor/shots" ] || fail "no screenshot folder under XDG_DATA_HOME"
grep -qF "closed all systems" "$XDG_DATA_HOME/veltmoor/game.log" || fail "no log under XDG_DATA_HOME"
[ -d "$XDG_CACHE_HOME/veltmoor/cache" ] || fail "no shader cache folder under XDG_CACHE_HOME"
changed=$(find "$prefix" -newer "$tmp/marker")
[ -z "$changed" ] || fail "the installed game wrote into its prefix: $changed"
[ "$("$prefix/bin/launchpad" --version)" = "launchpad (Veltmoor) 0.10" ] || fail "installed launchpad does not run"
echo "install ok"
