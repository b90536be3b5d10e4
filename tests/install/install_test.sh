#!/usr/bin/env bash
# install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/tavvyhop share/tavvyhop/View.dat share/tavvyhop/words.dat share/tavvyhop/words-en.dat \
         share/applications/org.tavvyhop.Tavvyhop.desktop share/metainfo/org.tavvyhop.Tavvyhop.metainfo.xml \
         share/man/man6/tavvyhop.6 share/icons/hicolor/256x256/apps/tavvyhop.png \
         share/icons/hicolor/48x48/apps/tavvyhop.png; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

# The icons are PNG pictures of their size (the width and height of the header).
for size in 256 48; do
  header=$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/tavvyhop.png" | tr -d ' \n')
  want=$(printf '%08x%08x' "$size" "$size")
  [ "$header" = "$want" ] || { echo "icon ${size}: header $header"; exit 1; }
done

# The installed program, started from elsewhere with no Data/ beside it, plays a game.
cd "$prefix"
"$prefix/bin/tavvyhop" --version | grep -q '^tavvyhop [0-9]'
printf '10 down Enter\n11 up Enter\n' > script.txt
"$prefix/bin/tavvyhop" --headless --seed=1 --ticks=60 --script=script.txt --stats=stats.txt
[ "$(wc -l < stats.txt)" = 60 ] || { echo "stats: $(wc -l < stats.txt) lines"; exit 1; }
awk 'END { if ($2 != 1) { print "not playing at the end: " $0; exit 1 } }' stats.txt

# The man page reads as one.
if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$prefix/share/man/man6/tavvyhop.6" 2>/dev/null | grep -q 'tavvyhop - a small 3D space shooter' ||
    { echo "man page does not render"; exit 1; }
fi

# The validators of the desktop (scripts/setup.sh installs them).
desktop-file-validate "$prefix/share/applications/org.tavvyhop.Tavvyhop.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.tavvyhop.Tavvyhop.metainfo.xml"
echo "installed and played"
