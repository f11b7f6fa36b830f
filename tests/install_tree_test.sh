#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temporary prefix puts the
# programs, their files and the desktop integration in place; the installed
# tarnrecorder starts on a private X server with its skin from
# share/tarnrecorder, and the installed tarn-record records with the watermark
# image and font from there.
# Usage: install_tree_test.sh path/to/cmake path/to/build
set -u
CMAKE="$1"
BUILD="$2"
TITLE="TARN屏幕录制"
ID="io.github.tarnrecorder.TarnRecorder"

# shellcheck source=tests/support/program_test_support.sh
source "$(dirname "$0")/support/program_test_support.sh"
for tool in Xvfb xdotool xdpyinfo ffprobe; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
use_private_home tarn-install
PREFIX="$WORK/prefix"

"$CMAKE" --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1
check "cmake --install succeeds" test $? -eq 0
for file in bin/tarnrecorder bin/tarn-record share/tarnrecorder/skin/style.qss \
  share/tarnrecorder/tarnwm.png share/applications/$ID.desktop share/metainfo/$ID.metainfo.xml \
  share/icons/hicolor/scalable/apps/$ID.svg share/man/man1/tarn-record.1.gz \
  share/tarnrecorder/skin/translations/tarnrecorder_en.qm; do
  check "$file is installed" test -s "$PREFIX/$file"
done
for size in 16 22 24 32 48 64 128 256; do
  check "the ${size}x$size icon is $size pixels wide" \
    test "$(ffprobe -v error -show_entries stream=width -of csv=p=0 \
      "$PREFIX/share/icons/hicolor/${size}x$size/apps/$ID.png")" = "$size"
done
check "the watermark fonts are reachable" \
  test -r "$PREFIX/share/tarnrecorder/microsoftYaHei.ttf" -a -r "$PREFIX/share/tarnrecorder/songTypeface.ttf"
check "the manual page reads" bash -c "gzip -dc '$PREFIX/share/man/man1/tarn-record.1.gz' | grep -q '^.SH EXIT STATUS'"
check "no skin beside the installed programs" test ! -e "$PREFIX/bin/skin"

# A private X server on a display it picks itself.
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=("$!")
for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || { echo "FAILED: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$WORK/display")"
xdpyinfo >/dev/null 2>&1 || { echo "FAILED: Xvfb on $DISPLAY does not answer"; exit 1; }
echo "ok: Xvfb on $DISPLAY"

# Run from another folder so that nothing is found through the working folder.
cd "$WORK" || exit 1
"$PREFIX/bin/tarnrecorder" >"$WORK/program.out" 2>&1 &
PROGRAM=$!
PIDS+=("$PROGRAM")
window_appears() {
  for _ in $(seq 1 200); do
    xdotool search --onlyvisible --name "^$TITLE\$" >/dev/null 2>&1 && return 0
    kill -0 "$PROGRAM" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
check "the installed program opens its main window" window_appears
LOG="$(ls "$HOME"/.local/share/TarnRecorder/Log/log.*."$PROGRAM" 2>/dev/null | head -n 1)"
check "it takes its skin from share/tarnrecorder" \
  grep -q "skin folder $PREFIX/share/tarnrecorder/skin/" "${LOG:-/dev/null}"
check "and finds the style sheet there" bash -c "! grep -q 'cannot open the style sheet' '${LOG:-/dev/null}'"
kill -TERM "$PROGRAM"
wait_for_exit "$PROGRAM"
check "it ends with 0 on SIGTERM" test "$EXIT_CODE" -eq 0
[ "$failures" -eq 0 ] || cat "$WORK/program.out"

# The installed tarn-record, with the text watermark's font and the default
# watermark image from share/tarnrecorder.
record() {  # record NAME SECONDS WATERMARK-TYPE
  "$PREFIX/bin/tarn-record" --seconds "$2" --fps 15 --output-dir "$WORK/$1" \
    --set global.audio-mute-check=1 --set global.watermark-type="$3" \
    --set global.watermark-text-desc=TARN >"$WORK/$1.out" 2>"$WORK/$1.err"
}
duration_of() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$1" |
    sort -g | awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.2f", last - first }'
}
for run in "text 2 2" "image 1 1"; do
  set -- $run
  record "$1" "$2" "$3"
  check "tarn-record with the $1 watermark exits 0" test $? -eq 0
  check "without a watermark warning" bash -c "! grep -qi watermark '$WORK/$1.err'"
  FILE="$(tail -n 1 "$WORK/$1.out")"
  check "its file is H.264" \
    test "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$FILE")" = h264
  D="$(duration_of "$FILE")"
  check "and about $2 s long (got $D)" awk -v d="$D" -v s="$2" 'BEGIN { exit !(d > s - 0.5 && d < s + 0.3) }'
  [ "$failures" -eq 0 ] || cat "$WORK/$1.err"
done

finish
