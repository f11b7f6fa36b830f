#!/usr/bin/env bash
# The program as a user drives it: Alt+F8 starts a recording, Alt+F12 stops
# it, and the finished file is in the recordings folder; a recording running
# when the program is told to end (SIGTERM) is finished before it exits.
# Usage: program_recording_test.sh path/to/tarnrecorder
set -u
PROGRAM="$1"

# shellcheck source=tests/support/program_test_support.sh
source "$(dirname "$0")/support/program_test_support.sh"
require_display xdotool ffprobe
use_private_home tarn-recording
mkdir -p "$HOME/Documents" "$HOME/.local/share/TarnRecorder/Config"
VIDEOS="$HOME/Documents/TARN屏幕录制"
INI="$HOME/.local/share/TarnRecorder/Config/configure.ini"
# Without sound: a recording waits for its sound sources' first sound, which
# idle virtual devices of the test rig can hold back for seconds, and the
# durations below are about the hot keys. The sound tests cover the sound.
printf '[global]\naudio-mute-check=1\n' >"$INI"
LOG_DIR="$HOME/.local/share/TarnRecorder/Log"

start_program() {
  "$PROGRAM" >>"$WORK/program.out" 2>&1 &
  PID=$!
  PIDS+=("$PID")
  # Ready once the hot keys are written back after registration.
  for _ in $(seq 1 200); do
    grep -q '^stop-key2=123' "$INI" 2>/dev/null && xdotool search --onlyvisible --name 'TARN' >/dev/null 2>&1 &&
      return 0
    sleep 0.1
  done
  return 1
}

# Seconds of the first video stream, or nothing when the file is not readable.
video_seconds() {
  ffprobe -v error -select_streams v:0 -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null
}

# Waits until exactly `count` files are in the recordings folder and the
# newest of them reads back; prints its path.
wait_for_recording() {
  local count="$1" newest
  for _ in $(seq 1 150); do
    newest="$(ls -t "$VIDEOS"/*.mp4 2>/dev/null | head -n 1)"
    if [ "$(ls "$VIDEOS" 2>/dev/null | wc -l)" -eq "$count" ] && [ -n "$newest" ] &&
      [ -n "$(video_seconds "$newest")" ]; then
      echo "$newest"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

check "the program starts and registers its hot keys" start_program
check "the recordings folder was made" test -d "$VIDEOS"

# Alt+F8, about two seconds, Alt+F12.
xdotool key alt+F8
sleep 2.2
xdotool key alt+F12
FIRST="$(wait_for_recording 1)"
check "a recording appeared after Alt+F12" test -n "$FIRST"
if [ -n "$FIRST" ]; then
  SECONDS_RECORDED="$(video_seconds "$FIRST")"
  check "it lasts about two seconds ($SECONDS_RECORDED s)" \
    awk -v s="$SECONDS_RECORDED" 'BEGIN { exit !(s > 1.5 && s < 3.5) }'
  check "it is named after its start time" \
    bash -c '[[ "$(basename "$1")" =~ ^[0-9]{14}\.mp4$ ]]' _ "$FIRST"
fi

# A recording running when the program is told to end is finished first
# (started at once, within the same second as the first one: a name of its own).
xdotool key alt+F8
sleep 1.5
kill -TERM "$PID"
wait_for_exit "$PID"
check "SIGTERM during a recording ends the program with 0" test "$EXIT_CODE" -eq 0
SECOND="$(wait_for_recording 2)"
check "the interrupted recording is a complete file" test -n "$SECOND"
if [ -n "$SECOND" ]; then
  SECONDS_RECORDED="$(video_seconds "$SECOND")"
  check "it holds the 1.5 s recorded before SIGTERM ($SECONDS_RECORDED s)" \
    awk -v s="$SECONDS_RECORDED" 'BEGIN { exit !(s > 1.0 && s < 2.5) }'
fi
# Its file was finished, and that before the window closed.
finished_before_close() {
  awk -v file="recording finished: $SECOND," '
    index($0, file) { finished = NR }
    /main window closed/ { closed = NR }
    END { exit !(finished && closed && finished < closed) }' "$LOG_DIR"/log.*
}
check "the interrupted recording was finished before the window closed" finished_before_close

if [ "$failures" -ne 0 ]; then
  echo "--- program output"; tail -n 40 "$WORK/program.out"
  echo "--- log"; tail -n 40 "$LOG_DIR"/log.* 2>/dev/null
fi
finish
