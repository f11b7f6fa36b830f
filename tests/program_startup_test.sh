#!/usr/bin/env bash
# The program under X: the log folder's sweep and file names, a second start
# that brings the first instance's window forward and exits 0 without
# sweeping, and an orderly end on SIGTERM.
# Usage: program_startup_test.sh path/to/tarnrecorder
set -u
PROGRAM="$1"
TITLE="TARN屏幕录制"

# shellcheck source=tests/support/program_test_support.sh
source "$(dirname "$0")/support/program_test_support.sh"
require_display xdotool xwininfo xmessage
use_private_home tarn-startup
LOG_DIR="$HOME/.local/share/TarnRecorder/Log"
mkdir -p "$LOG_DIR/kept-folder"
TODAY="$(date +%Y%m%d)"
YESTERDAY="$(date -d yesterday +%Y%m%d)"
touch "$LOG_DIR/log.$YESTERDAY-101010.11" "$LOG_DIR/log.$TODAY-000001.12" "$LOG_DIR/log.x"

# Window id of the first instance's main window, waiting up to 20 s.
find_window() {
  local ids
  for _ in $(seq 1 200); do
    ids="$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -n 1)"
    [ -n "$ids" ] && { echo "$ids"; return 0; }
    sleep 0.1
  done
  return 1
}

# Stacking position of a top-level window among the root's children, which
# xwininfo lists from the top down (larger is nearer the top).
stack_index() {
  xwininfo -root -children | awk -v id="$(printf '0x%x' "$1")" '
    /^ +0x/ { n++; if ($1 == id) pos = n }
    END { print (pos ? n - pos + 1 : 0) }'
}

"$PROGRAM" >"$WORK/first.out" 2>&1 &
FIRST=$!
PIDS+=("$FIRST")
WID="$(find_window)" || { echo "FAILED: the main window did not appear"; cat "$WORK/first.out"; exit 1; }
echo "ok: the main window appeared (window $WID)"

check "an earlier day's log is swept" test ! -e "$LOG_DIR/log.$YESTERDAY-101010.11"
check "a name under 12 characters is swept" test ! -e "$LOG_DIR/log.x"
check "today's log stays" test -e "$LOG_DIR/log.$TODAY-000001.12"
check "sub-folders stay" test -d "$LOG_DIR/kept-folder"
check "the new log is named log.<date>-<time>.<pid>" \
  test -n "$(find "$LOG_DIR" -maxdepth 1 -name "log.$TODAY-??????.$FIRST")"
check "no other files beside the logs" \
  test -z "$(find "$LOG_DIR" -maxdepth 1 -type f ! -name 'log.*' -o -maxdepth 1 -type l)"

# Cover the main window with another window, then start a second instance.
xmessage -geometry 1920x1080+0+0 "cover" >/dev/null 2>&1 &
PIDS+=("$!")
for _ in $(seq 1 50); do
  COVER="$(xdotool search --onlyvisible --name '^xmessage$' 2>/dev/null | head -n 1)"
  [ -n "$COVER" ] && break
  sleep 0.1
done
check "the cover window appeared" test -n "${COVER:-}"
sleep 0.3
check "the cover is above the main window" \
  test "$(stack_index "$COVER")" -gt "$(stack_index "$WID")"

touch "$LOG_DIR/log.$YESTERDAY-111111.13"
timeout 20 "$PROGRAM" >"$WORK/second.out" 2>&1
SECOND_RC=$?
check "the second start exits 0" test "$SECOND_RC" -eq 0
check "the second start does not sweep the logs" test -e "$LOG_DIR/log.$YESTERDAY-111111.13"
sleep 0.5
check "the first instance's window came forward" \
  test "$(stack_index "$WID")" -gt "$(stack_index "$COVER")"
check "the first instance is still running" kill -0 "$FIRST"
check "the first instance logged the request" \
  grep -q "a second start asked for the main window; found: 1" "$LOG_DIR"/log."$TODAY"-*."$FIRST"

# SIGTERM closes the main window and ends the program with 0.
kill -TERM "$FIRST"
wait_for_exit "$FIRST"
check "SIGTERM ends the program with 0" test "$EXIT_CODE" -eq 0
check "the main window closed in order" grep -q "main window closed" "$LOG_DIR"/log."$TODAY"-*."$FIRST"

# A start after the first one ended is a first instance again.
"$PROGRAM" >"$WORK/third.out" 2>&1 &
THIRD=$!
PIDS+=("$THIRD")
window_appears() { find_window >/dev/null; }
check "a later start opens its own window" window_appears
kill -TERM "$THIRD"; wait "$THIRD"

finish
