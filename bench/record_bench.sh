#!/usr/bin/env bash
# Screen recording benchmark: tarn-record against ffmpeg's x11grab with libx264
# on the same 1920x1080 Xvfb screen while a moving picture plays on it.
# Prints, for both: CPU seconds per recorded second, pictures written and
# expected, peak resident memory, and the time from the stop to a complete file.
#
# Sound: tarn-record takes the microphone and the system sound mixed (its
# default) while a tone plays into the speaker and noise into the microphone
# (ffmpeg records the picture only, so tarn-record's figures include its sound),
# and the audio-to-video start offset and end difference are reported, for
# this recording and for a second one of SYNC_SECONDS (default 120; 0 skips it).
#
# Usage: bench/record_bench.sh [build-dir] [seconds] [fps]
# Starts its own Xvfb (and PulseAudio) through the test rig when none runs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
SECONDS_TO_RECORD="${2:-20}"
FPS="${3:-30}"
RECORDER="$BUILD/bin/tarn-record"
[ -x "$RECORDER" ] || { echo "bench: $RECORDER not found; build first (scripts/build.sh)" >&2; exit 1; }

# The rig keeps a running display only if it is 1920x1080; else it starts Xvfb.
if [ -n "${DISPLAY:-}" ] && ! xdpyinfo 2>/dev/null | grep -q 'dimensions: *1920x1080 '; then
  unset DISPLAY
fi
# shellcheck source=scripts/test-rig.sh
source scripts/test-rig.sh
WORK="$(mktemp -d /tmp/tarn-bench-XXXXXX)"
PLAYER=""
cleanup() {
  [ -n "$PLAYER" ] && kill "$PLAYER" 2>/dev/null
  for pid in "${SOUND[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done
  rig_stop
  rm -rf "$WORK"
}
trap cleanup EXIT

# A moving picture over the whole screen.
SDL_AUDIODRIVER=dummy ffplay -loglevel quiet -f lavfi -i "testsrc2=size=1920x1080:rate=$FPS" \
  -left 0 -top 0 -noborder -an >/dev/null 2>&1 &
PLAYER=$!
sleep 2

EXPECTED=$((SECONDS_TO_RECORD * FPS))
SYNC_SECONDS="${SYNC_SECONDS:-120}"

# Sound on both sources for as long as the longest recording lasts.
SOUND=()
if [ -n "${PULSE_SERVER:-}" ]; then
  PLAY_SECONDS=$((SECONDS_TO_RECORD + SYNC_SECONDS + 60))
  ffmpeg -v quiet -re -f lavfi -i "sine=frequency=440:duration=$PLAY_SECONDS" -f pulse -device speaker bench-tone </dev/null &
  SOUND+=("$!")
  ffmpeg -v quiet -re -f lavfi -i "anoisesrc=amplitude=0.2:duration=$PLAY_SECONDS" -f pulse -device mic_feed bench-mic </dev/null &
  SOUND+=("$!")
fi
sync_report() {  # file label
  ffprobe -v error -show_entries stream=codec_type,start_time,duration -of csv=p=0 "$1" |
    awk -F, -v label="$2" '
      $1 == "video" { vs = $2; ve = $2 + $3 }
      $1 == "audio" { as = $2; ae = $2 + $3; have = 1 }
      END {
        if (!have) { printf "%-12s no audio track\n", label; exit }
        printf "%-12s audio-video start offset %+.0f ms, end difference %+.0f ms (video %.2f s)\n",
          label, (as - vs) * 1000, (ae - ve) * 1000, ve - vs }'
}
count_frames() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1"
}
report() {  # name cpu_seconds rss_kb frames stop_ms lost
  local per_second
  per_second=$(awk -v c="$2" -v s="$SECONDS_TO_RECORD" 'BEGIN { printf "%.3f", c / s }')
  printf '%-12s cpu/s %-7s frames %5s of %-5s lost %-4s peak RSS %6d MB   stop->file %s ms\n' \
    "$1" "$per_second" "$4" "$EXPECTED" "$6" "$(( $3 / 1024 ))" "$5"
}
time_field() { awk -F': ' -v k="$2" '$1 ~ k { print $2 }' "$1"; }

# --- TarnRecorder -----------------------------------------------------------
export HOME="$WORK/home"
mkdir -p "$HOME"
/usr/bin/time -v -o "$WORK/ours.time" "$RECORDER" --seconds "$SECONDS_TO_RECORD" --fps "$FPS" \
  --quality 1 --format mp4 --output-dir "$WORK" >"$WORK/ours.out" 2>"$WORK/ours.err"
OURS_FILE="$(tail -n 1 "$WORK/ours.out")"
OURS_CPU=$(awk -v u="$(time_field "$WORK/ours.time" 'User time')" \
               -v s="$(time_field "$WORK/ours.time" 'System time')" 'BEGIN { print u + s }')
OURS_RSS=$(time_field "$WORK/ours.time" 'Maximum resident set size')
OURS_STOP=$(sed -n 's/.*file complete \([0-9]*\) ms after the stop.*/\1/p' "$WORK/ours.err" | tail -n 1)
OURS_LOST=$(sed -n 's/.*pictures written, \([0-9]*\) lost.*/\1/p' "$WORK/ours.err" | tail -n 1)
report "tarn-record" "$OURS_CPU" "$OURS_RSS" "$(count_frames "$OURS_FILE")" "${OURS_STOP:-?}" "${OURS_LOST:-?}"
sync_report "$OURS_FILE" "sync ${SECONDS_TO_RECORD}s"

# --- ffmpeg x11grab -----------------------------------------------------------
# ffmpeg stops by itself after -t; its stop time is the wall time past the
# recording less its start-up (the time to its first frame is not separable,
# so this is an upper bound).
START=$(date +%s%N)
/usr/bin/time -v -o "$WORK/ffmpeg.time" ffmpeg -v error -y -f x11grab -framerate "$FPS" \
  -video_size 1920x1080 -i "$DISPLAY" -t "$SECONDS_TO_RECORD" -c:v libx264 -preset ultrafast \
  -tune zerolatency -crf 23 "$WORK/ffmpeg.mp4" </dev/null
END=$(date +%s%N)
FF_CPU=$(awk -v u="$(time_field "$WORK/ffmpeg.time" 'User time')" \
             -v s="$(time_field "$WORK/ffmpeg.time" 'System time')" 'BEGIN { print u + s }')
FF_RSS=$(time_field "$WORK/ffmpeg.time" 'Maximum resident set size')
FF_OVER=$(( (END - START) / 1000000 - SECONDS_TO_RECORD * 1000 ))
report "ffmpeg" "$FF_CPU" "$FF_RSS" "$(count_frames "$WORK/ffmpeg.mp4")" "<=$FF_OVER" "-"

awk -v a="$OURS_CPU" -v b="$FF_CPU" 'BEGIN { if (b > 0) printf "cpu ratio tarn-record / ffmpeg: %.2f\n", a / b }'

if [ "$SYNC_SECONDS" -gt 0 ]; then
  "$RECORDER" --seconds "$SYNC_SECONDS" --fps "$FPS" --format mp4 --output-dir "$WORK/long" \
    >"$WORK/long.out" 2>"$WORK/long.err"
  sync_report "$(tail -n 1 "$WORK/long.out")" "sync ${SYNC_SECONDS}s"
fi
