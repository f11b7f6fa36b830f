#!/usr/bin/env bash
# The program's tray icon in a real notification area (trayer): the icon
# shows, a right click opens its menu inside the screen, the menu's quit item
# ends the program, and a recording running then is asked about and finished.
# Usage: program_tray_test.sh path/to/tarnrecorder
set -u
PROGRAM="$1"

# shellcheck source=tests/support/program_test_support.sh
source "$(dirname "$0")/support/program_test_support.sh"
require_display xdotool trayer ffprobe
use_private_home tarn-tray
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME/Documents" "$HOME/.local/share/TarnRecorder/Config"
INI="$HOME/.local/share/TarnRecorder/Config/configure.ini"
LOG_DIR="$HOME/.local/share/TarnRecorder/Log"
VIDEOS="$HOME/Documents/TARN屏幕录制"
printf '[global]\naudio-mute-check=1\n' >"$INI"
read -r SCREEN_W SCREEN_H < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')

# A notification area in the bottom-right corner of the screen.
trayer --edge bottom --align right --widthtype pixel --width 120 --height 32 >"$WORK/trayer.out" 2>&1 &
PIDS+=("$!")
sleep 1

# Geometry "x y w h" of a window.
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '
    /^X=/ { x = $2 } /^Y=/ { y = $2 } /^WIDTH=/ { w = $2 } /^HEIGHT=/ { h = $2 }
    END { print x, y, w, h }'
}

# The program's tray icon: its small window inside the notification area.
find_icon() {
  local w
  for _ in $(seq 1 100); do
    for w in $(xdotool search --class tarnrecorder 2>/dev/null); do
      read -r x y width height < <(geometry "$w")
      if [ "$width" -le 64 ] && [ "$height" -le 64 ]; then
        echo "$((x + width / 2)) $((y + height / 2))"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Opens the tray menu with a right click; prints its geometry.
open_menu() {
  local w
  xdotool mousemove "$ICON_X" "$ICON_Y" click 3
  for _ in $(seq 1 50); do
    w="$(xdotool search --onlyvisible --name '^MenuWnd$' 2>/dev/null | head -n 1)"
    [ -n "$w" ] && { geometry "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

"$PROGRAM" >"$WORK/program.out" 2>&1 &
PID=$!
PIDS+=("$PID")
ICON="$(find_icon)"
check "the tray icon shows in the notification area" test -n "$ICON"
read -r ICON_X ICON_Y <<<"${ICON:-0 0}"

MENU="$(open_menu)"
check "a right click opens the tray menu" test -n "$MENU"
read -r MX MY MW MH <<<"${MENU:-0 0 0 0}"
check "the menu is inside the screen ($MX,$MY ${MW}x$MH)" \
  test "$MX" -ge 0 -a "$MY" -ge 0 -a $((MX + MW)) -le "$SCREEN_W" -a $((MY + MH)) -le "$SCREEN_H"
check "the menu opens above and left of the icon" test $((MY + MH)) -le "$ICON_Y" -a "$MX" -le "$ICON_X"
# Escape closes it (while it is open it holds the keyboard, hot keys included).
xdotool key Escape
closed() { ! xdotool search --onlyvisible --name '^MenuWnd$' >/dev/null 2>&1; }
sleep 0.3
check "Escape closes the menu" closed

# Record, then quit from the menu: the question is answered with Enter
# (confirm has the focus), and the file is finished first.
xdotool key alt+F8
sleep 1.5
read -r MX MY MW MH <<<"$(open_menu)"
xdotool mousemove $((MX + MW / 2)) $((MY + MH - 16)) click 1   # the last item: quit
QUESTION=""
for _ in $(seq 1 50); do
  QUESTION="$(xdotool search --onlyvisible --name '^信息提示$' 2>/dev/null | head -n 1)"
  [ -n "$QUESTION" ] && break
  sleep 0.1
done
check "quitting while recording asks first" test -n "$QUESTION"
check "the program is still running while it asks" kill -0 "$PID"
[ -n "$QUESTION" ] && xdotool windowfocus --sync "$QUESTION" key Return
wait_for_exit "$PID"
check "quit from the tray menu ends the program with 0" test "$EXIT_CODE" -eq 0
RECORDING="$(ls "$VIDEOS"/*.mp4 2>/dev/null | head -n 1)"
check "the recording running at the quit is a complete file" \
  test -n "$RECORDING" -a -n "$(ffprobe -v error -show_entries format=duration -of csv=p=0 "${RECORDING:-/none}" 2>/dev/null)"

if [ "$failures" -ne 0 ]; then
  echo "--- log"; tail -n 30 "$LOG_DIR"/log.* 2>/dev/null
fi
finish
