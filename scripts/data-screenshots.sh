#!/usr/bin/env bash
# Screenshots of the data set as a player sees it, into docs/screenshots/data/:
#
#   scripts/data-screenshots.sh after [DATA_DIR]    takes NAME-after.png (default data: build/Data)
#   scripts/data-screenshots.sh before DATA_DIR     takes NAME-before.png from an older data set
#   scripts/data-screenshots.sh --combine           puts NAME-before.png and NAME-after.png side
#                                                   by side as NAME.png
#
# NAME is title, play (the first view in play), fight (just after an enemy is destroyed),
# target (the stage target is out) and clear (the stage-clear captions). One headless
# autopilot game (seed 1) is played; the ticks are found from its statistics, so they
# follow the gameplay of the build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dest="$here/docs/screenshots/data"
mkdir -p "$dest"
names=(title play fight target clear)

if [ "${1:-}" = "--combine" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  for n in "${names[@]}"; do
    [ -f "$dest/$n-before.png" ] && [ -f "$dest/$n-after.png" ] || continue
    pngtopnm "$dest/$n-before.png" >"$tmp/a.pnm"
    pngtopnm "$dest/$n-after.png" >"$tmp/b.pnm"
    ppmmake rgb:ff/ff/ff 8 480 >"$tmp/gap.pnm"
    pnmcat -lr "$tmp/a.pnm" "$tmp/gap.pnm" "$tmp/b.pnm" | pnmtopng >"$dest/$n.png"
    echo "data-screenshots: $dest/$n.png (before | after)"
  done
  exit 0
fi

suffix=${1:?usage: data-screenshots.sh before|after [DATA_DIR] | --combine}
data=${2:-$here/build/Data}
exe="$here/build/tavvyhop"
[ -x "$exe" ] || { echo "data-screenshots: build the program first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
every=5
"$exe" --headless --autopilot --seed=1 --ticks=6600 --data="$data" --stats="$tmp/stats.txt" \
  --frames="$tmp" --frame-every=$every >/dev/null

# Statistics columns: tick GameState Score Stage Stock Energy TargetEnergy StageTime
# ReadyTime DeathTime ClearCountdown MessageIndex MessageTime.
# Each program prints the first tick of its moment and stops; frames exist every $every ticks.
pick() { awk "$1" "$tmp/stats.txt" | awk -v every=$every 'NR == 1 { print $1 - $1 % every }'; }
declare -A tick
tick[title]=25
tick[play]=$(pick '$2 == 1 && $9 == 0 && ++n == 60 { print $1; exit }')
tick[fight]=$(pick '$2 == 1 && $1 > 400 && score != "" && $3 > score && !hit { hit = $1 } { score = $3 } hit && $1 >= hit + 6 { print $1; exit }')
tick[target]=$(pick '$2 == 1 && $8 == -1 && ++n == 120 { print $1; exit }')
tick[clear]=$(pick '$2 == 3 && ++n == 60 { print $1; exit }')
for n in "${names[@]}"; do
  t=${tick[$n]:-}
  if [ -z "$t" ]; then
    echo "data-screenshots: no $n moment in this game" >&2
    continue
  fi
  cp "$(printf '%s/frame-%06d.png' "$tmp" "$t")" "$dest/$n-$suffix.png"
  echo "data-screenshots: $dest/$n-$suffix.png (tick $t)"
done
