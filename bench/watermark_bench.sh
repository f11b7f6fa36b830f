#!/usr/bin/env bash
# Watermark cost benchmark: tarn-record records the same 1920x1080 Xvfb screen,
# with a moving picture playing on it, without a watermark, with the text
# watermark and with the image watermark (the program's own image at the
# bottom right corner). Prints, for each: CPU seconds per recorded second,
# pictures written and lost, and the CPU ratio to the recording without one.
# Sound is off (audio-mute-check) so that the figures are the picture path's.
#
# Usage: bench/watermark_bench.sh [build-dir] [seconds] [fps]
# ROUNDS=N (default 2) records the three N times, alternating, and adds up.
# Starts its own Xvfb through the test rig when no 1920x1080 display runs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
SECONDS_TO_RECORD="${2:-20}"
FPS="${3:-30}"
ROUNDS="${ROUNDS:-2}"
RECORDER="$BUILD/bin/tarn-record"
[ -x "$RECORDER" ] || { echo "bench: $RECORDER not found; build first (scripts/build.sh)" >&2; exit 1; }
for file in tarnwm.png microsoftYaHei.ttf; do
  [ -f "$BUILD/bin/$file" ] || { echo "bench: $BUILD/bin/$file is missing; build tarn-record" >&2; exit 1; }
done

# The rig keeps a running display only if it is 1920x1080; else it starts Xvfb.
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo 2>/dev/null | grep -q 'dimensions: *1920x1080 '; then
  unset DISPLAY
fi
# shellcheck source=scripts/test-rig.sh
source scripts/test-rig.sh
WORK="$(mktemp -d /tmp/tarn-wm-bench-XXXXXX)"
PLAYER=""
cleanup() {
  [ -n "$PLAYER" ] && kill "$PLAYER" 2>/dev/null
  rig_stop
  rm -rf "$WORK"
}
trap cleanup EXIT

# A moving picture over the whole screen.
SDL_AUDIODRIVER=dummy ffplay -loglevel quiet -f lavfi -i "testsrc2=size=1920x1080:rate=$FPS" \
  -left 0 -top 0 -noborder -an >/dev/null 2>&1 &
PLAYER=$!
sleep 2

export HOME="$WORK/home"
mkdir -p "$HOME"
COMMON=(--seconds "$SECONDS_TO_RECORD" --fps "$FPS" --quality 1 --format mp4
        --set global.audio-mute-check=1)
NONE=(--set global.watermark-type=0)
TEXT=(--set global.watermark-type=2 --set global.watermark-text-offset-x=40
      --set global.watermark-text-offset-y=40)
IMAGE=(--set global.watermark-type=1 --set global.watermark-pos=3
       --set global.watermark-rb-right=20 --set global.watermark-rb-bottom=20)

time_field() { awk -F': ' -v k="$2" '$1 ~ k { print $2 }' "$1"; }
declare -A CPU FRAMES LOST
run() {  # label settings...
  local label="$1" out="$WORK/$1"
  shift
  mkdir -p "$out"
  /usr/bin/time -v -o "$out/time" "$RECORDER" "${COMMON[@]}" "$@" --output-dir "$out" \
    >"$out/stdout" 2>"$out/stderr" || { echo "bench: the $label recording failed:" >&2; cat "$out/stderr" >&2; exit 1; }
  if grep -q "warning:" "$out/stderr"; then
    echo "bench: the $label recording ran without its watermark:" >&2
    grep "warning:" "$out/stderr" >&2
    exit 1
  fi
  local cpu frames lost
  cpu=$(awk -v u="$(time_field "$out/time" 'User time')" -v s="$(time_field "$out/time" 'System time')" \
    'BEGIN { print u + s }')
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$(tail -n 1 "$out/stdout")")
  lost=$(sed -n 's/.*pictures written, \([0-9]*\) lost.*/\1/p' "$out/stderr" | tail -n 1)
  CPU[$label]=$(awk -v a="${CPU[$label]:-0}" -v b="$cpu" 'BEGIN { print a + b }')
  FRAMES[$label]=$(( ${FRAMES[$label]:-0} + frames ))
  LOST[$label]=$(( ${LOST[$label]:-0} + ${lost:-0} ))
  rm -f "$out"/*.mp4
}

for _ in $(seq 1 "$ROUNDS"); do
  run none "${NONE[@]}"
  run text "${TEXT[@]}"
  run image "${IMAGE[@]}"
done

RECORDED=$(( SECONDS_TO_RECORD * ROUNDS ))
printf '%dx%d at %d fps, %d x %d s per watermark\n' 1920 1080 "$FPS" "$ROUNDS" "$SECONDS_TO_RECORD"
printf '%-10s %-12s %-18s %-6s %s\n' watermark "cpu s/s" "pictures" lost "cpu vs none"
for label in none text image; do
  awk -v label="$label" -v cpu="${CPU[$label]}" -v base="${CPU[none]}" -v s="$RECORDED" \
      -v frames="${FRAMES[$label]}" -v expected=$(( RECORDED * FPS )) -v lost="${LOST[$label]}" 'BEGIN {
    printf "%-10s %-12.3f %6d of %-8d %-6d %+.1f %%\n", label, cpu / s, frames, expected, lost,
      (cpu / base - 1) * 100 }'
done
