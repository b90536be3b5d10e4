# Sourced by the sound checks: a private runtime folder for a PulseAudio server of their own
# (the user's own sound is never touched), and the clean-up of the folder and of every process
# the script adds to `pids` when it ends.
run=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$run"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$run" PULSE_RUNTIME_PATH="$run/pulse" HOME="$run"
mkdir -p "$PULSE_RUNTIME_PATH"
