#!/usr/bin/env bash
# tarn-record from the command line: its options, its exit codes, the path on
# the last line, pauses, and settings overrides that leave the user's file alone.
# Usage: tarn_record_test.sh path/to/tarn-record
set -u
RECORD="$1"

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "SKIP: no X display (run the tests through scripts/test.sh, which starts Xvfb)"
  exit 77
fi

WORK="$(mktemp -d /tmp/tarn-record-test-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME"

failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
duration_of() {  # seconds of the video stream, from its packets
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$1" |
    sort -g | awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.2f", last - first }'
}

"$RECORD" --help >"$WORK/help.txt"
check "--help exits 0 and documents the options" grep -q -- "--pause-at" "$WORK/help.txt"
"$RECORD" --fps nope >/dev/null 2>"$WORK/bad.txt"
check "a bad number exits 2" test $? -eq 2
check "and says why" grep -q "takes" "$WORK/bad.txt"
"$RECORD" --pause-at 1 >/dev/null 2>&1
check "a pause without its resume exits 2" test $? -eq 2
"$RECORD" --frobnicate 1 >/dev/null 2>&1
check "an unknown option exits 2" test $? -eq 2

# The user's settings ask for mkv; --set asks for a small region for this run.
CONFIG="$HOME/.local/share/TarnRecorder/Config"
mkdir -p "$CONFIG"
printf '[global]\nvideo-format=mkv\n' >"$CONFIG/configure.ini"
cp "$CONFIG/configure.ini" "$WORK/before.ini"
"$RECORD" --seconds 3 --fps 20 --output-dir "$WORK/out" --pause-at 1 --resume-at 2 \
  --set global.audio-mute-check=1 --set global.user-defined-region-check=1 --set global.region-width=200 \
  --set global.region-height=100 >"$WORK/out.txt" 2>"$WORK/err.txt"
check "a recording exits 0" test $? -eq 0
FILE="$(tail -n 1 "$WORK/out.txt")"
check "the last line names the file" test -s "$FILE"
check "the file is named after the start time with the settings' container" \
  bash -c "basename '$FILE' | grep -Eq '^[0-9]{14}\.mkv$'"
check "the overrides shaped the picture" \
  test "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$FILE")" = "200,100"
D="$(duration_of "$FILE")"
check "a 1 s pause in 3 s leaves about 2 s (got $D)" awk -v d="$D" 'BEGIN { exit !(d > 1.8 && d < 2.2) }'
check "the settings file is unchanged" cmp -s "$CONFIG/configure.ini" "$WORK/before.ini"

# An output folder that cannot be made: the start fails and says so.
touch "$WORK/blocker"
"$RECORD" --seconds 1 --output-dir "$WORK/blocker/sub" >"$WORK/fail.out" 2>"$WORK/fail.err"
check "an unusable folder exits 1" test $? -eq 1
check "with the reason on standard error" grep -q "could not start" "$WORK/fail.err"
LAST="$(tail -n 1 "$WORK/fail.out")"
check "and no recording named on standard output" test ! -f "$LAST"

# A camera given on the command line is recorded at its own size and rate.
"$RECORD" --seconds 2 --fps 10 --output-dir "$WORK/camera" --camera "lavfi:testsrc2=size=320x240:rate=30" \
  --set global.audio-mute-check=1 >"$WORK/camera.out" 2>"$WORK/camera.err"
check "a camera recording exits 0" test $? -eq 0
FILE="$(tail -n 1 "$WORK/camera.out")"
check "the camera's size and rate are the file's" \
  test "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate -of csv=p=0 "$FILE")" = "320,240,30/1"
check "and it says so" grep -q "camera's 30 fps" "$WORK/camera.err"
"$RECORD" --camera nocolon >/dev/null 2>&1
check "a camera without FORMAT:URL exits 2" test $? -eq 2
# A camera that stops delivering after 1 s: the file holds that second.
"$RECORD" --seconds 5 --output-dir "$WORK/camera" --camera "lavfi:testsrc2=size=160x120:rate=25:duration=1" \
  --set global.audio-mute-check=1 >"$WORK/unplugged.out" 2>"$WORK/unplugged.err"
check "a camera that stops delivering exits 1" test $? -eq 1
check "and says the camera stopped" grep -q "camera stopped delivering" "$WORK/unplugged.err"
FILE="$(tail -n 1 "$WORK/unplugged.out")"
D="$(duration_of "$FILE")"
check "its file keeps what was recorded (got $D s)" awk -v d="$D" 'BEGIN { exit !(d > 0.6 && d < 1.1) }'
# A watermark that cannot be added: the recording goes on without it and says so.
"$RECORD" --seconds 1 --output-dir "$WORK/wm" --set global.audio-mute-check=1 \
  --set global.watermark-type=2 --set global.watermark-font-family=Arial >"$WORK/wm.out" 2>"$WORK/wm.err"
check "a recording without its watermark exits 0" test $? -eq 0
check "with a warning on standard error" \
  grep -q "^tarn-record: warning: the text watermark cannot be added" "$WORK/wm.err"
check "and its file complete" test -s "$(tail -n 1 "$WORK/wm.out")"

echo "$failures failed"
[ "$failures" -eq 0 ]
