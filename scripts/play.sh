#!/usr/bin/env bash
# Builds everything and starts the game (extra arguments go to the program).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/build.sh"
exe="$here/build/tavvyhop"
if [ ! -x "$exe" ]; then
  echo "play: the program is not built yet (build/tavvyhop is missing); see README.md for what exists." >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No screen: play a short headless demo instead of failing.
  out="$here/build/demo-frames"
  mkdir -p "$out"
  echo "play: no display; running a headless demo, frames go to $out"
  exec "$exe" --headless --autopilot --seed=1 --ticks=2000 --frames="$out" --frame-every=250 "$@"
fi
exec "$exe" "$@"
