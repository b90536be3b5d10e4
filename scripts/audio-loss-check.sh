#!/usr/bin/env bash
# Takes the sound device away from the game in its real window and gives it back.
#
#   scripts/audio-loss-check.sh [AWAY_SECONDS]
#
# Starts a PulseAudio server of its own (a user process with a null sink, nothing is heard)
# and a virtual screen (Xvfb), plays an 18-second autopilot game in the SDL window, stops the
# sound server after 5 seconds and starts it again AWAY_SECONDS (default 5) later. The game
# must play all its ticks, say the loss once, say that the sound is back, and be heard again
# (the sink's recording after the return is not silent).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
away=${1:-5}
exe="$here/build/tavvyhop"
for tool in pulseaudio pactl parec sox Xvfb; do
  command -v "$tool" >/dev/null || { echo "audio-loss-check: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$exe" ] || { echo "audio-loss-check: build the program first (build/tavvyhop)" >&2; exit 1; }
source "$here/scripts/sound-sandbox.sh"
export PULSE_SERVER="unix:$run/pulse/native"
start_server() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=file:"$run/pulse.log" \
    --load="module-native-protocol-unix socket=$run/pulse/native auth-anonymous=1" \
    --load="module-null-sink sink_name=check rate=44100 channels=2" &
  server=$!
  pids+=("$server")
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && return; sleep 0.1; done
  echo "audio-loss-check: PulseAudio did not start" >&2
  exit 1
}
start_server

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
sleep 1

"$exe" --ok --no-dialog --fullscreen=0 --autopilot --seed=1 --ticks=720 --settings="$run/settings.conf" \
  --stats="$run/stats.txt" >"$run/out.txt" 2>"$run/err.txt" &
game=$!
sleep 5
echo "audio-loss-check: the sound server stops"
kill "$server"
wait "$server" 2>/dev/null || true
sleep "$away"
echo "audio-loss-check: the sound server starts again"
start_server
timeout 4 parec -d check.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav "$run/back.wav" || true
status=0
wait "$game" || status=$?
cat "$run/err.txt"
ticks=$(wc -l <"$run/stats.txt")
lost=$(grep -c "Sound device lost" "$run/err.txt" || true)
back=$(grep -c "Sound is back" "$run/err.txt" || true)
peak=$(sox "$run/back.wav" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
echo "audio-loss-check: exit $status, $ticks ticks, loss said $lost time(s), return said $back time(s)," \
  "peak after the return $peak"
[ "$status" = 0 ] && [ "$ticks" = 720 ] && [ "$lost" = 1 ] && [ "$back" = 1 ] &&
  awk -v p="$peak" 'BEGIN { exit !(p > 0.01) }'
