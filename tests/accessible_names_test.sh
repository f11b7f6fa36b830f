#!/usr/bin/env bash
# The program read through the accessibility tree (AT-SPI) as a screen reader
# reads it, on a private X server and session bus: every focusable control of
# each page has a name, and each row of the recordings list says its file's
# name, size and duration.
# Usage: accessible_names_test.sh path/to/tarnrecorder
set -u
PROGRAM="$1"
TITLE="TARN屏幕录制"
HERE="$(cd "$(dirname "$0")" && pwd)"

# shellcheck source=tests/support/program_test_support.sh
source "$HERE/support/program_test_support.sh"
for tool in Xvfb dbus-run-session ffmpeg; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is not installed"; exit 77; }
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
use_private_home tarn-a11y

# A private X server; it writes its display number once it listens.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=("$!")
for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || { echo "FAILED: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$WORK/display")"

# Two recordings in the output folder.
OUTPUT="$WORK/videos"
mkdir -p "$OUTPUT" "$HOME/.local/share/TarnRecorder/Config"
printf '[global]\noutput-dir=%s\n' "$OUTPUT" >"$HOME/.local/share/TarnRecorder/Config/configure.ini"
ffmpeg -v error -f lavfi -i testsrc=duration=3:size=64x48:rate=10 -c:v libx264 "$OUTPUT/20250101120000.mp4" &&
  cp "$OUTPUT/20250101120000.mp4" "$OUTPUT/20250102120000.mkv" ||
  { echo "FAILED: ffmpeg could not make the recordings"; exit 1; }

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
export PROGRAM TITLE HERE WORK
# The session bus starts the accessibility bus on demand; both end with it.
dbus-run-session -- bash -c '
  "$PROGRAM" >"$WORK/program.out" 2>&1 &
  program=$!
  /usr/bin/python3 "$HERE/support/accessible_tree.py" "$TITLE" 2
  verdict=$?
  kill "$program"; wait "$program"
  exit "$verdict"'
verdict=$?
[ "$verdict" -eq 2 ] && cat "$WORK/program.out"
check "the accessibility tree holds every name" test "$verdict" -eq 0
finish
