#!/usr/bin/env bash
# Installs what the tests need, builds, starts the test rig (Xvfb and a sound
# server, only where none runs) and runs every test on plain PulseAudio; then
# runs the tests that use the sound server (label "sound") once more on a
# freshly started PipeWire. Arguments go to both ctest runs. Fails when either
# run fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

# One ctest run in a subshell with its own rig, stopped when the run ends.
run_on_rig() {
  local server="$1"
  shift
  (
    export TARN_SOUND_SERVER="$server"
    # shellcheck source=scripts/test-rig.sh
    source scripts/test-rig.sh
    trap rig_stop EXIT
    if [ "$server" = pipewire ] && [ "$RIG_SOUND_SERVER" != pipewire ]; then
      echo "test: the PipeWire rig did not start" >&2
      exit 1
    fi
    cd build
    local log
    log="$(mktemp)"
    ctest --output-on-failure --timeout 600 -j "${TARN_TEST_JOBS:-2}" "$@" 2>&1 | tee "$log"
    local status="${PIPESTATUS[0]}"
    [ "$status" -eq 0 ] || print_failures "$log"
    rm -f "$log"
    exit "$status"
  )
}

# The assertions that failed, gathered at the end where a shortened log
# still shows them.
print_failures() {
  echo "test: the failed assertions of this run:"
  grep -a -A 8 -E ': Failure$' "$1" | head -n 120 || true
}

set +e
echo "test: every test, on PulseAudio"
run_on_rig pulseaudio "$@"
pulse_status=$?
echo "test: the sound tests again, on PipeWire"
# A fresh PipeWire of the rig's own, whatever server the first run used.
PULSE_SERVER="" run_on_rig pipewire -L sound "$@"
pipewire_status=$?
set -e
if [ "$pulse_status" -ne 0 ] || [ "$pipewire_status" -ne 0 ]; then
  echo "test: failed (PulseAudio run: exit $pulse_status, PipeWire run: exit $pipewire_status)" >&2
  exit 1
fi
