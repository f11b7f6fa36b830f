#!/usr/bin/env bash
# Playback benchmark: the cut page's player against ffplay on the same 60 s
# 1920x1080 30 fps H.264 + AAC file, both in a 1280x720 window on one Xvfb
# screen with SDL's dummy sound driver. Prints CPU seconds, pictures shown and
# late pictures (the player: shown over 40 ms behind the master clock after
# the first second; ffplay: the pictures it dropped for being late, "fd").
#
# Usage: bench/player_bench.sh [build-dir] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
SECONDS_OF_MEDIA="${2:-60}"
cmake --build "$BUILD" -j1 --target player_bench >/dev/null
BENCH="$BUILD/bin/player_bench"
WORK="$(mktemp -d /tmp/tarn-player-bench-XXXXXX)"
XVFB=""
cleanup() {
  [ -n "$XVFB" ] && kill "$XVFB" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

FILE="$WORK/bench.mp4"
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=1920x1080:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$SECONDS_OF_MEDIA" \
  -c:v libx264 -preset veryfast -g 250 -pix_fmt yuv420p -c:a aac -ac 2 "$FILE"

if [ -z "${DISPLAY:-}" ]; then
  Xvfb :97 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB=$!
  export DISPLAY=:97
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
export SDL_AUDIODRIVER=dummy

echo "file: ${SECONDS_OF_MEDIA} s 1920x1080 30 fps H.264 + AAC, window 1280x720"
"$BENCH" "$FILE" 2>"$WORK/player.log" | tail -1

# ffplay: CPU from the kernel's accounting of the child, dropped pictures
# from its last status line.
/usr/bin/time -f "%U %S" -o "$WORK/ffplay.time" \
  ffplay -autoexit -x 1280 -y 720 -stats "$FILE" 2>"$WORK/ffplay.log" >/dev/null </dev/null
read -r user system <"$WORK/ffplay.time"
dropped=$(tr '\r' '\n' <"$WORK/ffplay.log" | grep -o 'fd= *[0-9]*' | tail -1 | tr -dc '0-9')
echo "ffplay: cpu_s=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }') shown=$(( SECONDS_OF_MEDIA * 30 - ${dropped:-0} )) dropped_late=${dropped:-?}"
