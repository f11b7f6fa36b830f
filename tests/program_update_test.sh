#!/usr/bin/env bash
# The program's update check against a local HTTPS service: at start-up a
# newer version is offered, confirming opens the download window, its cancel
# button closes it and the program goes on; with update-check=0 the service
# sees no connection. With TARN_SCREENSHOT_DIR set, the question and the
# download window are saved there (update-prompt.png, update-download.png).
# Usage: program_update_test.sh path/to/tarnrecorder
set -u
PROGRAM="$1"
SUPPORT="$(cd "$(dirname "$0")/support" && pwd)"

# shellcheck source=tests/support/program_test_support.sh
source "$SUPPORT/program_test_support.sh"
require_display xdotool openssl /usr/bin/python3
use_private_home tarn-update
unset DBUS_SESSION_BUS_ADDRESS
SERVICE="$WORK/service"
TEMP_DIR="$HOME/.local/share/TarnScreenRecorder/Temp"
LOG_DIR="$HOME/.local/share/TarnRecorder/Log"
INI="$HOME/.local/share/TarnRecorder/Config/configure.ini"
mkdir -p "$SERVICE/files" "$HOME/Documents" "$(dirname "$INI")"

if ! bash "$SUPPORT/make_test_certs.sh" "$WORK"; then
  check "openssl makes the test certificates" false
  finish
fi
head -c 3000000 /dev/urandom >"$SERVICE/files/TarnRecorder-2.3.0.deb"
/usr/bin/python3 "$SUPPORT/update_server.py" "$WORK/server.pem" "$WORK/server.key" "$SERVICE" \
  >"$WORK/port" 2>"$WORK/server.err" &
PIDS+=("$!")
for _ in $(seq 1 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT="$(head -n 1 "$WORK/port")"
printf '{"ret":0,"data":{"app_version":"2.3.0","download_url":"https://127.0.0.1:%s/slow/TarnRecorder-2.3.0.deb","force_upgrade":false}}' \
  "$PORT" >"$SERVICE/reply.json"
write_settings() {
  printf '[global]\naudio-mute-check=1\n[online]\nupdate-url=https://127.0.0.1:%s/v1/upgrade_check\nca-file=%s\nupdate-check=%s\n' \
    "$PORT" "$WORK/ca.pem" "$1" >"$INI"
}

# The visible window whose WM_CLASS instance is $1, waited for up to 20 s.
window_of() {
  local w
  for _ in $(seq 1 200); do
    w="$(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -n 1)"
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
# Waits up to 20 s for the command to succeed.
eventually() {
  for _ in $(seq 1 200); do "$@" && return 0; sleep 0.1; done
  return 1
}
shot() {
  [ -n "${TARN_SCREENSHOT_DIR:-}" ] && import -window root "$TARN_SCREENSHOT_DIR/$1"
  return 0
}
download_under_way() {
  [ "$(stat -c %s "$TEMP_DIR/TarnRecorder-2.3.0.deb" 2>/dev/null || echo 0)" -gt 300000 ]
}
log_has() { grep -q "$1" "$LOG_DIR"/log.* 2>/dev/null; }

# 1. The start-up check offers the newer version; the download starts on yes.
write_settings 1
"$PROGRAM" >"$WORK/program.out" 2>&1 &
APP=$!
PIDS+=("$APP")
QUESTION="$(window_of MessageBoxDialog)"
check "the start-up check asks about the newer version" test -n "$QUESTION"
check "the check reached the service" grep -q "POST /v1/upgrade_check?timestamp=" "$SERVICE/requests.log"
sleep 0.5  # let the window manager settle the question before it is photographed
shot update-prompt.png
[ -n "$QUESTION" ] && xdotool windowfocus --sync "$QUESTION" key Return
DOWNLOAD="$(window_of DownloadDialog)"
check "yes opens the download window" test -n "$DOWNLOAD"
check "the installer arrives in the per-user Temp folder" eventually download_under_way
shot update-download.png

# 2. Cancel closes the window, deletes the partial file; the program goes on.
[ -n "$DOWNLOAD" ] && xdotool windowfocus --sync "$DOWNLOAD" key space
download_closed() {
  [ -z "$(xdotool search --onlyvisible --classname '^DownloadDialog$' 2>/dev/null)" ]
}
check "cancel closes the download window" eventually download_closed
check "the partial installer is deleted" eventually test ! -e "$TEMP_DIR/TarnRecorder-2.3.0.deb"
check "the program goes on after a cancelled download" kill -0 "$APP"
kill -TERM "$APP"
wait_for_exit "$APP"
check "the program then ends normally" test "$EXIT_CODE" -eq 0

# 3. Switched off, the start-up check makes no connection.
rm -f "$LOG_DIR"/log.*
BEFORE="$(wc -l <"$SERVICE/connections.log")"
write_settings 0
"$PROGRAM" >"$WORK/program2.out" 2>&1 &
APP=$!
PIDS+=("$APP")
check "the switched-off check says so in the log" eventually log_has "update check at start-up is switched off"
check "the service saw no connection" test "$(wc -l <"$SERVICE/connections.log")" -eq "$BEFORE"
kill -TERM "$APP"
wait_for_exit "$APP"

if [ "$failures" -ne 0 ]; then
  echo "--- program"; tail -n 20 "$WORK/program.out"
  echo "--- log"; tail -n 30 "$LOG_DIR"/log.* 2>/dev/null
fi
finish
