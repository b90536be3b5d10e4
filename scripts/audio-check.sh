#!/usr/bin/env bash
# Plays the game for a while with both cores busy and listens for gaps in its sound.
#
#   scripts/audio-check.sh [SECONDS] [extra program arguments...]
#
# Starts a PulseAudio server of its own (a user process with a null sink, nothing is
# heard), a virtual screen (Xvfb) and two busy processes at the game's own priority, plays
# SECONDS (default 60) of an autopilot game in the real SDL window, records the sink, and
# reports every stretch of pure silence longer than 5 ms inside the music, with the
# recording's peak, RMS and clipped samples (sox) and the program's late audio callbacks.
# The recording is kept as build/audio-check/sink.wav. AUDIO_CHECK_BUSY=N starts N busy
# processes instead of two, for a harder test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
exe="$here/build/tavvyhop"
out="$here/build/audio-check"
for tool in pulseaudio parec Xvfb sox python3; do
  command -v "$tool" >/dev/null || { echo "audio-check: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$exe" ] || { echo "audio-check: build the program first (build/tavvyhop)" >&2; exit 1; }
mkdir -p "$out"
source "$here/scripts/sound-sandbox.sh"

# The sound server: one null sink, no other modules.
# Real-time scheduling where allowed, as a desktop's sound server has it.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=file:"$run/pulse.log" \
  --high-priority=yes --realtime=yes \
  --load="module-native-protocol-unix socket=$run/pulse/native auth-anonymous=1" \
  --load="module-null-sink sink_name=check rate=44100 channels=2" \
  --load="module-always-sink" &
pids+=($!)
export PULSE_SERVER="unix:$run/pulse/native"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "audio-check: PulseAudio did not start" >&2; cat "$run/pulse.log" >&2; exit 1; }
pactl set-default-sink check

# A screen for the window.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
sleep 1

# Two busy processes (or AUDIO_CHECK_BUSY) at the same priority as the game.
for _ in $(seq "${AUDIO_CHECK_BUSY:-2}"); do
  sh -c 'while :; do :; done' &
  pids+=($!)
done

parec -d check.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav "$out/sink.wav" &
rec=$!
pids+=($rec)
sleep 0.5

# The game runs until it is told to stop: an orderly end (SIGTERM closes the window as the
# window manager would) so that --stats prints the audio counts.
SDL_AUDIODRIVER=pulseaudio "$exe" --ok --fullscreen=0 --autopilot --seed=1 --stats="$out/stats.txt" "$@" \
  2>"$out/stderr.txt" &
game=$!
pids+=($game)
sleep "$seconds"
kill -TERM "$game" 2>/dev/null || true
for _ in $(seq 50); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$game" 2>/dev/null || true
sleep 0.5
kill -INT "$rec" 2>/dev/null || true
wait "$rec" 2>/dev/null || true

echo "audio-check: $seconds s recorded into $out/sink.wav"
grep -h '^audio:' "$out/stderr.txt" || echo "audio: (the program printed no counts)"
sox "$out/sink.wav" -n stats 2>&1 | grep -E 'Pk lev dB|RMS lev dB|Flat factor|Pk count|Length s' | head -6
python3 - "$out/sink.wav" <<'EOF'
# Silences: runs of exact zeros on both channels longer than 5 ms, between the first and
# the last sound of the recording (before and after the game nothing plays).
import struct, sys, wave
w = wave.open(sys.argv[1], 'rb')
rate, n = w.getframerate(), w.getnframes()
data = w.readframes(n)
frames = struct.unpack('<%dh' % (len(data) // 2), data)
limit = int(rate * 0.005)
silent = [frames[2 * i] == 0 and frames[2 * i + 1] == 0 for i in range(len(frames) // 2)]
sounding = [i for i, s in enumerate(silent) if not s]
clipped = sum(1 for v in frames if v >= 32767 or v <= -32768)
print('samples at full scale: %d' % clipped)
if not sounding:
    print('silences: the recording is silent'); sys.exit(0)
first, last = sounding[0], sounding[-1]
runs, start = [], None
for i in range(first, last + 1):
    if silent[i]:
        if start is None: start = i
    elif start is not None:
        if i - start > limit: runs.append((start, i - start))
        start = None
print('silences longer than 5 ms inside the sound (%.1f s to %.1f s): %d' % (first / rate, last / rate, len(runs)))
for s, length in runs:
    print('  at %8.3f s: %6.1f ms' % (s / rate, 1000.0 * length / rate))
EOF
