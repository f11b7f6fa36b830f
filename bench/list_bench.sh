#!/usr/bin/env bash
# Recordings list benchmark: how long the main window takes to appear, and
# how long until every row and every duration is shown, for a recordings
# folder of COUNT short recordings (and for an empty one, for comparison).
#
# Usage: bench/list_bench.sh [build-dir] [count]
# Starts its own Xvfb through the test rig when none runs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
COUNT="${2:-500}"
PROGRAM="$BUILD/bin/tarnrecorder"
[ -x "$PROGRAM" ] || { echo "bench: $PROGRAM not found; build first (scripts/build.sh)" >&2; exit 1; }
# shellcheck source=scripts/test-rig.sh
source scripts/test-rig.sh
WORK="$(mktemp -d /tmp/tarn-list-bench-XXXXXX)"
PROGRAM_PID=""
cleanup() {
  [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null
  rig_stop
  rm -rf "$WORK"
}
trap cleanup EXIT

ffmpeg -v error -f lavfi -i testsrc=duration=2:size=320x240:rate=10 -c:v libx264 "$WORK/clip.mp4"

now_ms() { date +%s%3N; }

# run_once NAME COUNT: starts the program on a folder of COUNT recordings.
run_once() {
  local name="$1" count="$2"
  local home="$WORK/$name" videos="$WORK/$name/videos"
  mkdir -p "$videos" "$home/.local/share/TarnRecorder/Config" "$home/runtime"
  chmod 700 "$home/runtime"
  for i in $(seq 1 "$count"); do cp "$WORK/clip.mp4" "$videos/rec$i.mp4"; done
  printf '[global]\noutput-dir=%s\n' "$videos" >"$home/.local/share/TarnRecorder/Config/configure.ini"
  local start window_ms="" log
  start="$(now_ms)"
  HOME="$home" XDG_RUNTIME_DIR="$home/runtime" "$PROGRAM" >"$WORK/$name.out" 2>&1 &
  local pid=$!
  PROGRAM_PID=$pid
  for _ in $(seq 1 600); do
    if xdotool search --onlyvisible --name 'TARN' >/dev/null 2>&1; then
      window_ms=$(($(now_ms) - start))
      break
    fi
    sleep 0.01
  done
  log="$home/.local/share/TarnRecorder/Log"
  for _ in $(seq 1 600); do
    grep -qh "every duration measured\|listed 0 recordings" "$log"/log.* 2>/dev/null && break
    sleep 0.05
  done
  sleep 0.2
  kill -TERM "$pid"; wait "$pid" || true
  PROGRAM_PID=""
  echo "== $name: $count recordings"
  echo "window shown after ${window_ms:-(never)} ms"
  grep -h "listed \|every row made\|every duration measured" "$log"/log.* | sed 's/^.*\] /  /'
}

run_once empty 0
run_once full "$COUNT"
