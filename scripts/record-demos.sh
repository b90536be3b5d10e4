#!/usr/bin/env bash
# Re-records the golden demos of tests/demos/ and their expected results, without a hand on
# the keyboard (the window demo is played in Xvfb by xdotool).
#
#   scripts/record-demos.sh [BUILD_DIR] [NAME ...]
#
# BUILD_DIR (default build/) must hold a built tavvyhop and its Data/; NAME picks some of the
# demos (game, mouse, window); without names all are recorded.
#
# Run it after a change that alters what the game does on purpose (or its data set), and
# say why in the commit. Each demo is recorded, then played back headless; the playback's
# statistics must equal the recording's at every tick, and its final statistics line and the
# hashes of the frames at a few ticks become NAME.expect, which the golden demo
# test compares with.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
shift $(($# > 0 ? 1 : 0))
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(game mouse window)
exe="$build/tavvyhop"
data="$build/Data"
out="$here/tests/demos"
[ -x "$exe" ] || { echo "record-demos: no program at $exe (build first)" >&2; exit 1; }
[ -d "$data" ] || { echo "record-demos: no data set at $data" >&2; exit 1; }
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "record-demos: $tool is needed (scripts/setup.sh installs it)" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Plays NAME.dem back headless, checks it against the recording's statistics, writes NAME.expect
# with the hashes of the frames every EVERY ticks.
expect() {
  local name=$1 every=$2
  "$exe" --headless --playdemo="$out/$name.dem" --data="$data" --stats="$tmp/$name-play.txt" \
    --frame-every="$every" --frame-hashes="$tmp/$name-hashes.txt"
  if ! cmp -s "$tmp/$name-rec.txt" "$tmp/$name-play.txt"; then
    echo "record-demos: $name.dem does not play back as it was recorded:" >&2
    diff "$tmp/$name-rec.txt" "$tmp/$name-play.txt" | head -5 >&2
    exit 1
  fi
  {
    echo "# Expected playback of $name.dem (headless), written by scripts/record-demos.sh."
    echo "frame-every $every"
    echo "ticks $(wc -l <"$tmp/$name-play.txt")"
    echo "final $(tail -n 1 "$tmp/$name-play.txt")"
    sed 's/^/frame /' "$tmp/$name-hashes.txt"
  } >"$out/$name.expect"
  echo "record-demos: $name.dem, $(wc -l <"$tmp/$name-play.txt") ticks, $(stat -c %s "$out/$name.dem") bytes"
}

# A whole game flown by the autopilot: deaths, the stage target destroyed, the stage
# cleared, game over, and the next game started from the title.
record_game() {
  "$exe" --headless --autopilot --seed=2 --lives=3 --ticks=9000 --data="$data" \
    --record="$out/game.dem" --stats="$tmp/game-rec.txt"
}

# The camera moved with the mouse: forward and back with the left button, turned with the
# right one, in steps with Shift; F1 keeps the placement.
record_mouse() {
  "$exe" --headless --seed=4 --script="$out/mouse.script" --ticks=700 --data="$data" \
    --record="$out/mouse.dem" --stats="$tmp/mouse-rec.txt"
}

# A game played in the real SDL window, keys pressed by xdotool in Xvfb.
record_window() {
  cat >"$tmp/window.sh" <<EOF
set -u
"$exe" --ok --fullscreen=0 --seed=6 --data="$data" --record="$out/window.dem" --stats="$tmp/window-rec.txt" & pid=\$!
main=\$(xdotool search --sync --onlyvisible --name '^Tavvyhop\$' | head -1)
xdotool windowfocus \$main 2>/dev/null || true
sleep 1
xdotool key Return; sleep 1.5
xdotool keydown Up; sleep 0.6; xdotool keyup Up
xdotool keydown z; sleep 0.4; xdotool keyup z
xdotool keydown Left keydown x; sleep 0.5; xdotool keyup Left keyup x
xdotool key a; sleep 0.3; xdotool key q; sleep 0.5
xdotool keydown KP_Right keydown z; sleep 0.8; xdotool keyup KP_Right keyup z
xdotool key F1; sleep 0.3
xdotool key Escape; sleep 0.8
xdotool key Escape
for i in \$(seq 300); do kill -0 \$pid 2>/dev/null || break; sleep 0.1; done
if kill -0 \$pid 2>/dev/null; then kill \$pid; echo "record-demos: the window game did not end" >&2; exit 3; fi
wait \$pid
EOF
  xvfb-run -a -s '-screen 0 1024x768x24' bash "$tmp/window.sh" 2> >(grep -v '^ALSA lib' >&2)
}

for name in "${names[@]}"; do
  case "$name" in
    game) record_game && expect game 1000 ;;
    mouse) record_mouse && expect mouse 100 ;;
    window) record_window && expect window 40 ;;
    *)
      echo "record-demos: no demo called $name (game, mouse, window)" >&2
      exit 2
      ;;
  esac
done
