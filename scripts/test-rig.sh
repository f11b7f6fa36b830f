#!/usr/bin/env bash
# The test rig: an X server (Xvfb) and a sound server with a virtual speaker
# and a virtual microphone, each started only where none is reachable.
# Source it: it exports DISPLAY, XDG_RUNTIME_DIR and PULSE_SERVER for the tests
# and defines rig_stop, which ends what it started. RIG_SOUND_SERVER tells
# which sound server the tests use: pulseaudio, pipewire, running (one that
# was reachable already) or none.
#
# TARN_SOUND_SERVER picks the sound server it starts: "pulseaudio" (the
# default) or "pipewire" (PipeWire with its pulse server and WirePlumber).
# Either way the devices are the same: the null sink "speaker" is the default
# sink, and the source "microphone" (the default source) hears what is played
# into the null sink "mic_feed". Nothing else is added: the virtual devices
# behave as they do on a user's machine with nothing else recording.

RIG_DIR="$(mktemp -d /tmp/tarn-rig-XXXXXX)"
RIG_PIDS=()

rig_stop() {
  local pid i
  # In reverse order of starting: clients of a server go before it.
  for ((i = ${#RIG_PIDS[@]} - 1; i >= 0; i--)); do
    pid="${RIG_PIDS[$i]}"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  RIG_PIDS=()
  rm -rf "$RIG_DIR"
}

# Waits up to five seconds for a command to succeed.
rig_wait_for() {
  local _
  for _ in $(seq 1 50); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# X: keep a working display, else start Xvfb on the first free number, with
# a screen of RIG_SCREEN (WIDTHxHEIGHTxDEPTH, default 1920x1080x24).
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "test-rig: using the running X server $DISPLAY"
else
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the server keeps running as it is when its last client leaves.
    Xvfb ":$n" -screen 0 "${RIG_SCREEN:-1920x1080x24}" -nolisten tcp -noreset +extension MIT-SHM +extension XFIXES \
      +extension XInputExtension >"$RIG_DIR/xvfb.log" 2>&1 &
    RIG_PIDS+=("$!")
    export DISPLAY=":$n"
    rig_wait_for xdpyinfo
    break
  done
  if ! xdpyinfo >/dev/null 2>&1; then
    echo "test-rig: Xvfb did not start:" >&2
    cat "$RIG_DIR/xvfb.log" >&2
    return 1 2>/dev/null || exit 1
  fi
  echo "test-rig: started Xvfb on $DISPLAY"
fi

# A private runtime folder for the program's sockets and the sound server's.
export XDG_RUNTIME_DIR="$RIG_DIR/runtime"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Plain PulseAudio, configured by its startup script.
rig_start_pulseaudio() {
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
  rig_wait_for pactl info
}

# PipeWire, its pulse server and WirePlumber (which links the streams to the
# devices), with a private session bus, since WirePlumber needs one and CI
# has none. Their home is private too, so WirePlumber keeps its remembered
# defaults there, and it looks for no hardware: the rig's devices are the
# virtual ones alone.
rig_start_pipewire() {
  local home="$RIG_DIR/pipewire"
  local bus="unix:path=$XDG_RUNTIME_DIR/bus"
  local command
  for command in dbus-daemon pipewire pipewire-pulse wireplumber; do
    if ! command -v "$command" >/dev/null; then
      echo "test-rig: $command is not installed (scripts/install-deps.sh installs it)" >&2
      return 1
    fi
  done
  mkdir -p "$home/.config/wireplumber/main.lua.d" "$home/.config/wireplumber/bluetooth.lua.d"
  cat >"$home/.config/wireplumber/main.lua.d/51-tarn-rig.lua" <<'LUA'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
LUA
  echo 'bluez_monitor.enabled = false' >"$home/.config/wireplumber/bluetooth.lua.d/51-tarn-rig.lua"

  dbus-daemon --session --nofork --nopidfile --address="$bus" >"$RIG_DIR/dbus.log" 2>&1 &
  RIG_PIDS+=("$!")
  rig_wait_for test -S "$XDG_RUNTIME_DIR/bus" || return 1
  local name
  for name in pipewire wireplumber pipewire-pulse; do
    env -u PIPEWIRE_REMOTE -u PIPEWIRE_RUNTIME_DIR -u XDG_CONFIG_HOME -u XDG_STATE_HOME \
      -u XDG_DATA_HOME HOME="$home" DBUS_SESSION_BUS_ADDRESS="$bus" "$name" \
      >"$RIG_DIR/$name.log" 2>&1 &
    RIG_PIDS+=("$!")
    if [ "$name" = pipewire ]; then
      rig_wait_for test -S "$XDG_RUNTIME_DIR/pipewire-0" || return 1
    fi
  done
  rig_wait_for pactl info || return 1

  # The same devices as the PulseAudio rig, made through the pulse server.
  {
    pactl load-module module-null-sink sink_name=speaker sink_properties=device.description=Speaker &&
      pactl load-module module-null-sink sink_name=mic_feed sink_properties=device.description=MicFeed &&
      pactl load-module module-remap-source source_name=microphone master=mic_feed.monitor \
        source_properties=device.description=Microphone
  } >/dev/null || return 1
  rig_wait_for sh -c 'pactl list short sources | grep -q "^[0-9]*[[:space:]]microphone[[:space:]]"' ||
    return 1
  pactl set-default-sink speaker && pactl set-default-source microphone || return 1
  # WirePlumber applies the defaults a moment later.
  rig_wait_for sh -c 'pactl info | grep -q "^Default Sink: speaker$" &&
    pactl info | grep -q "^Default Source: microphone$"'
}

rig_start_sound() {
  case "$RIG_SOUND_SERVER" in
    pulseaudio) rig_start_pulseaudio ;;
    pipewire) rig_start_pipewire ;;
    *)
      echo "test-rig: TARN_SOUND_SERVER must be pulseaudio or pipewire, not \"$RIG_SOUND_SERVER\"" >&2
      return 1
      ;;
  esac
}

if [ -n "${PULSE_SERVER:-}" ] && pactl info >/dev/null 2>&1; then
  echo "test-rig: using the running sound server $PULSE_SERVER"
  RIG_SOUND_SERVER=running
else
  export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
  RIG_SOUND_SERVER="${TARN_SOUND_SERVER:-pulseaudio}"
  if rig_start_sound && pactl info >/dev/null 2>&1; then
    echo "test-rig: started $RIG_SOUND_SERVER at $PULSE_SERVER"
  else
    echo "test-rig: $RIG_SOUND_SERVER did not start (sound tests will skip):" >&2
    for rig_log in "$RIG_DIR"/*.log; do
      if [ -s "$rig_log" ]; then
        echo "--- $rig_log" >&2
        tail -n 20 "$rig_log" >&2
      fi
    done
    unset PULSE_SERVER rig_log
    RIG_SOUND_SERVER=none
  fi
fi
