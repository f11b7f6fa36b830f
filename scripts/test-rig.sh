#!/usr/bin/env bash
# The test rig: an X server (Xvfb) and a PulseAudio server with a virtual
# speaker and a virtual microphone, each started only where none is reachable.
# Source it: it exports DISPLAY, XDG_RUNTIME_DIR and PULSE_SERVER for the tests
# and defines rig_stop, which ends what it started.

RIG_DIR="$(mktemp -d /tmp/tarn-rig-XXXXXX)"
RIG_PIDS=()

rig_stop() {
  local pid
  for pid in "${RIG_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${RIG_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  RIG_PIDS=()
  rm -rf "$RIG_DIR"
}

# X: keep a working display, else start Xvfb on the first free number.
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "test-rig: using the running X server $DISPLAY"
else
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the server keeps running as it is when its last client leaves.
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset +extension MIT-SHM +extension XFIXES \
      +extension XInputExtension >"$RIG_DIR/xvfb.log" 2>&1 &
    RIG_PIDS+=("$!")
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    break
  done
  if ! xdpyinfo >/dev/null 2>&1; then
    echo "test-rig: Xvfb did not start:" >&2
    cat "$RIG_DIR/xvfb.log" >&2
    return 1 2>/dev/null || exit 1
  fi
  echo "test-rig: started Xvfb on $DISPLAY"
fi

# A private runtime folder for the program's sockets and PulseAudio's.
export XDG_RUNTIME_DIR="$RIG_DIR/runtime"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# PulseAudio: keep a reachable server, else start a private one with a null
# sink as the default speaker and a second null sink remapped as the default
# microphone.
if [ -n "${PULSE_SERVER:-}" ] && pactl info >/dev/null 2>&1; then
  echo "test-rig: using the running PulseAudio server $PULSE_SERVER"
else
  unset PULSE_SERVER
  mkdir -p "$RIG_DIR/pulse"
  cat >"$RIG_DIR/pulse/default.pa" <<'PA'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=speaker sink_properties=device.description=Speaker
load-module module-null-sink sink_name=mic_feed sink_properties=device.description=MicFeed
load-module module-remap-source source_name=microphone master=mic_feed.monitor source_properties=device.description=Microphone
set-default-sink speaker
set-default-source microphone
PA
  HOME="$RIG_DIR/pulse" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --system=false --disallow-exit -F "$RIG_DIR/pulse/default.pa" \
    >"$RIG_DIR/pulse.log" 2>&1 &
  RIG_PIDS+=("$!")
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  for _ in $(seq 1 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  if pactl info >/dev/null 2>&1; then
    echo "test-rig: started PulseAudio at $PULSE_SERVER"
    # Idle null sinks run with two seconds of latency and make a new record
    # stream wait that long for its first sound; a low-latency listener on
    # each keeps them as prompt as a real sound card.
    for source in speaker.monitor microphone; do
      parec --latency-msec=10 -d "$source" >/dev/null 2>&1 &
      RIG_PIDS+=("$!")
    done
  else
    echo "test-rig: PulseAudio did not start (sound tests will skip):" >&2
    cat "$RIG_DIR/pulse.log" >&2
    unset PULSE_SERVER
  fi
fi
