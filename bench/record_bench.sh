#!/usr/bin/env bash
# Screen recording benchmark: tarn-record against ffmpeg's x11grab with libx264
# (ultrafast, zerolatency, crf 23) on the same Xvfb screen while a moving
# picture plays over all of it, one row per screen size and frame rate.
# Prints, for both: CPU seconds per recorded second, pictures written and
# expected, pictures lost, peak resident memory, and the time from the stop to
# a complete file.
#
# Sound: tarn-record takes the microphone and the system sound mixed (its
# default) while a tone plays into the speaker and noise into the microphone
# (ffmpeg records the picture only, so tarn-record's figures include its sound),
# and the audio-to-video start offset and end difference are reported; after
# the rows, a recording of SYNC_SECONDS (default 120; 0 skips it) at the first
# row's size checks the sync over a longer time.
#
# MUTED=1 records no sound (as ffmpeg), for the picture's cost alone.
#
# Usage: bench/record_bench.sh [build-dir] [seconds] [rows]
#   rows: WIDTHxHEIGHT@FPS ... (default "1920x1080@30 1920x1080@60 3840x2160@30")
# Each row starts its own Xvfb of that size (and PulseAudio) through the test rig.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
SECONDS_TO_RECORD="${2:-20}"
ROWS="${3:-1920x1080@30 1920x1080@60 3840x2160@30}"
RECORDER="$BUILD/bin/tarn-record"
[ -x "$RECORDER" ] || { echo "bench: $RECORDER not found; build first (scripts/build.sh)" >&2; exit 1; }
SYNC_SECONDS="${SYNC_SECONDS:-120}"
SOUND_ARGS=()
[ "${MUTED:-0}" = 1 ] && SOUND_ARGS=(--set global.audio-mute-check=1)
WORK="$(mktemp -d /tmp/tarn-bench-XXXXXX)"
PLAYER=""
SOUND=()
RIG_UP=0

row_stop() {
  if [ -n "$PLAYER" ]; then
    # A player busy drawing a large picture may not take the first signal.
    kill "$PLAYER" 2>/dev/null
    for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$PLAYER" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$PLAYER" 2>/dev/null
    PLAYER=""
  fi
  for pid in "${SOUND[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done
  SOUND=()
  if [ "$RIG_UP" -eq 1 ]; then rig_stop; RIG_UP=0; fi
}
trap 'row_stop; rm -rf "$WORK"' EXIT

sync_report() {  # file label
  ffprobe -v error -show_entries stream=codec_type,start_time,duration -of csv=p=0 "$1" |
    awk -F, -v label="$2" '
      $1 == "video" { vs = $2; ve = $2 + $3 }
      $1 == "audio" { as = $2; ae = $2 + $3; have = 1 }
      END {
        if (!have) { printf "%-24s no audio track\n", label; exit }
        printf "%-24s audio-video start offset %+.0f ms, end difference %+.0f ms (video %.2f s)\n",
          label, (as - vs) * 1000, (ae - ve) * 1000, ve - vs }'
}
count_frames() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1"
}
time_field() { awk -F': ' -v k="$2" '$1 ~ k { print $2 }' "$1"; }
cpu_of() {  # /usr/bin/time -v output
  awk -v u="$(time_field "$1" 'User time')" -v s="$(time_field "$1" 'System time')" 'BEGIN { print u + s }'
}
report() {  # label cpu_seconds rss_kb frames expected stop_ms lost
  local per_second
  per_second=$(awk -v c="$2" -v s="$SECONDS_TO_RECORD" 'BEGIN { printf "%.3f", c / s }')
  printf '%-24s cpu/s %-7s frames %5s of %-5s lost %-5s peak RSS %6d MB   stop->file %s ms\n' \
    "$1" "$per_second" "$4" "$5" "$7" "$(( $3 / 1024 ))" "$6"
}

# Starts an Xvfb of WIDTHxHEIGHT with a moving picture at FPS over all of it,
# and sound on both sound sources for PLAY_SECONDS.
row_start() {  # width height fps play_seconds
  unset DISPLAY
  export RIG_SCREEN="${1}x${2}x24"
  # shellcheck source=scripts/test-rig.sh
  source scripts/test-rig.sh >/dev/null
  RIG_UP=1
  SDL_AUDIODRIVER=dummy ffplay -loglevel quiet -f lavfi -i "testsrc2=size=${1}x${2}:rate=$3" \
    -left 0 -top 0 -noborder -an >/dev/null 2>&1 &
  PLAYER=$!
  sleep 2
  if [ -n "${PULSE_SERVER:-}" ]; then
    ffmpeg -v quiet -re -f lavfi -i "sine=frequency=440:duration=$4" -f pulse -device speaker bench-tone </dev/null &
    SOUND+=("$!")
    ffmpeg -v quiet -re -f lavfi -i "anoisesrc=amplitude=0.2:duration=$4" -f pulse -device mic_feed bench-mic </dev/null &
    SOUND+=("$!")
  fi
}

export HOME="$WORK/home"
mkdir -p "$HOME"
printf 'Each row: %s s, sound %s for tarn-record; machine: %s cores\n' "$SECONDS_TO_RECORD" \
  "$([ "${MUTED:-0}" = 1 ] && echo off || echo on)" "$(nproc)"
FIRST_ROW=""
for row in $ROWS; do
  size="${row%@*}"; fps="${row#*@}"; width="${size%x*}"; height="${size#*x}"
  [ -z "$FIRST_ROW" ] && FIRST_ROW="$row"
  expected=$((SECONDS_TO_RECORD * fps))
  row_start "$width" "$height" "$fps" $((SECONDS_TO_RECORD + 30))
  echo "--- $row ---"

  # TarnRecorder
  /usr/bin/time -v -o "$WORK/ours.time" "$RECORDER" --seconds "$SECONDS_TO_RECORD" --fps "$fps" \
    --quality 1 --format mp4 --output-dir "$WORK/$row" "${SOUND_ARGS[@]}" >"$WORK/ours.out" 2>"$WORK/ours.err" || {
      echo "tarn-record failed:" >&2; cat "$WORK/ours.err" >&2; exit 1; }
  file="$(tail -n 1 "$WORK/ours.out")"
  stop_ms=$(sed -n 's/.*file complete \([0-9]*\) ms after the stop.*/\1/p' "$WORK/ours.err" | tail -n 1)
  lost=$(sed -n 's/.*pictures written, \([0-9]*\) lost.*/\1/p' "$WORK/ours.err" | tail -n 1)
  ours_cpu=$(cpu_of "$WORK/ours.time")
  report "tarn-record $row" "$ours_cpu" "$(time_field "$WORK/ours.time" 'Maximum resident set size')" \
    "$(count_frames "$file")" "$expected" "${stop_ms:-?}" "${lost:-?}"
  grep -h "pictures dropped" "$WORK/ours.err" | tail -n 3 | sed 's/^/    /' || true
  sync_report "$file" "sync $row ${SECONDS_TO_RECORD}s"

  # ffmpeg x11grab: it stops by itself after -t; its stop time is the wall time
  # past the recording less its start-up (an upper bound: its time to the
  # first frame is not separable).
  start_ns=$(date +%s%N)
  /usr/bin/time -v -o "$WORK/ffmpeg.time" ffmpeg -v error -y -f x11grab -framerate "$fps" \
    -video_size "$size" -i "$DISPLAY" -t "$SECONDS_TO_RECORD" -c:v libx264 -preset ultrafast \
    -tune zerolatency -crf 23 "$WORK/ffmpeg.mp4" </dev/null
  end_ns=$(date +%s%N)
  ff_cpu=$(cpu_of "$WORK/ffmpeg.time")
  report "ffmpeg $row" "$ff_cpu" "$(time_field "$WORK/ffmpeg.time" 'Maximum resident set size')" \
    "$(count_frames "$WORK/ffmpeg.mp4")" "$expected" "<=$(( (end_ns - start_ns) / 1000000 - SECONDS_TO_RECORD * 1000 ))" "-"
  awk -v a="$ours_cpu" -v b="$ff_cpu" -v r="$row" \
    'BEGIN { if (b > 0) printf "cpu ratio tarn-record / ffmpeg at %s: %.2f\n", r, a / b }'
  rm -f "$file" "$WORK/ffmpeg.mp4"
  row_stop
done

if [ "$SYNC_SECONDS" -gt 0 ]; then
  size="${FIRST_ROW%@*}"; fps="${FIRST_ROW#*@}"
  row_start "${size%x*}" "${size#*x}" "$fps" $((SYNC_SECONDS + 30))
  "$RECORDER" --seconds "$SYNC_SECONDS" --fps "$fps" --format mp4 --output-dir "$WORK/long" \
    >"$WORK/long.out" 2>"$WORK/long.err"
  sync_report "$(tail -n 1 "$WORK/long.out")" "sync $FIRST_ROW ${SYNC_SECONDS}s"
  row_stop
fi
