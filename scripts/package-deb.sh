#!/usr/bin/env bash
# Builds the Debian package and tries it on this machine: installs it with
# apt-get, starts the installed program on a private X server and records
# about 3 s with its hot keys, records 3 s with the installed tarn-record,
# checks both files with ffprobe, then removes the package again.
#
# Usage: scripts/package-deb.sh [BUILD_DIR]     (default: build-deb)
#   CMAKE_ARGS  more arguments for the configure step (a compiler launcher...)
#   JOBS        parallel build jobs (default: the number of processors)
#   KEEP=1      leaves the package installed
# Runs as root, or through sudo for an ordinary user. The package itself is
# BUILD_DIR/tarnrecorder_<version>_<arch>.deb.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath -m "${1:-$ROOT/build-deb}")"
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo -E)

"$ROOT/scripts/install-deps.sh"

# The package needs no tests: building them would only cost time.
# shellcheck disable=SC2086
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_BUILD_TESTS=OFF ${CMAKE_ARGS:-}
cmake --build "$BUILD" -j "${JOBS:-$(nproc)}"
rm -f "$BUILD"/tarnrecorder_*.deb
(cd "$BUILD" && cpack -G DEB)
DEB="$(ls "$BUILD"/tarnrecorder_*.deb)"
echo "package-deb: built $DEB"
dpkg-deb --field "$DEB" Package Version Depends Recommends

INSTALLED_BEFORE=0
dpkg-query -W -f='${Status}' tarnrecorder 2>/dev/null | grep -q "install ok installed" && INSTALLED_BEFORE=1

WORK="$(mktemp -d /tmp/tarn-package-XXXXXX)"
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do { kill -9 "$pid" && wait "$pid"; } 2>/dev/null || true; done
  cd /
  rm -rf "$WORK"
  if [ "${KEEP:-0}" != 1 ] && [ "$INSTALLED_BEFORE" -eq 0 ] &&
    dpkg-query -W -f='${Status}' tarnrecorder 2>/dev/null | grep -q "install ok installed"; then
    echo "package-deb: removing the package"
    "${SUDO[@]}" apt-get remove -y --purge tarnrecorder >/dev/null
  fi
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get install -y "$DEB"

failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
describe() {  # codec, size and duration of the video stream
  ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height:format=duration \
    -of compact=p=0 "$1" | paste -sd '|'
}
seconds_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null; }
about() { awk -v d="$1" -v s="$2" 'BEGIN { exit !(d > s - 0.8 && d < s + 1.0) }'; }

check "tarnrecorder is on the PATH at /usr/bin" test "$(command -v tarnrecorder)" = /usr/bin/tarnrecorder
check "the manual page of tarn-record is found" man -w tarn-record
check "the desktop entry is installed" test -s /usr/share/applications/io.github.tarnrecorder.TarnRecorder.desktop

# A private user and X server (the display number picked by Xvfb itself).
export HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime"
unset XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME/.local/share/TarnRecorder/Config" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
INI="$HOME/.local/share/TarnRecorder/Config/configure.ini"
printf '[global]\naudio-mute-check=1\noutput-dir=%s\n' "$WORK/videos" >"$INI"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=("$!")
for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || { echo "package-deb: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$WORK/display")"
echo "package-deb: Xvfb on $DISPLAY"
cd "$WORK"

# The installed program: its window, its skin, and a recording with Alt+F8 / Alt+F12.
tarnrecorder >"$WORK/program.out" 2>&1 &
PROGRAM=$!
PIDS+=("$PROGRAM")
ready() {  # the window shows and the hot keys are registered
  for _ in $(seq 1 200); do
    grep -q '^stop-key2=123' "$INI" && xdotool search --onlyvisible --name 'TARN' >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
check "the installed program opens its window" ready
check "it takes its skin from /usr/share/tarnrecorder" \
  grep -q "skin folder /usr/share/tarnrecorder/skin/" "$HOME"/.local/share/TarnRecorder/Log/log.*."$PROGRAM"
xdotool key alt+F8
sleep 3
xdotool key alt+F12
FILE=""
for _ in $(seq 1 150); do
  FILE="$(ls "$WORK"/videos/*.mp4 2>/dev/null | head -n 1 || true)"
  [ -n "$FILE" ] && [ -n "$(seconds_of "$FILE")" ] && break
  sleep 0.1
done
check "the program recorded a file" test -n "$FILE"
if [ -n "$FILE" ]; then
  echo "package-deb: $(basename "$FILE"): $(describe "$FILE")"
  check "of about 3 s" about "$(seconds_of "$FILE")" 3
fi
kill -TERM "$PROGRAM"
ends_with_0() {  # waits up to 15 s
  for _ in $(seq 1 150); do kill -0 "$PROGRAM" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$PROGRAM" 2>/dev/null && return 1
  wait "$PROGRAM"
}
check "the program ends with 0 on SIGTERM" ends_with_0

# The installed tarn-record, with the default watermark image from /usr/share/tarnrecorder.
if tarn-record --seconds 3 --output-dir "$WORK/cli" --set global.watermark-type=1 \
  >"$WORK/cli.out" 2>"$WORK/cli.err"; then
  FILE="$(tail -n 1 "$WORK/cli.out")"
  echo "package-deb: $(basename "$FILE"): $(describe "$FILE")"
  check "tarn-record recorded about 3 s" about "$(seconds_of "$FILE")" 3
  check "with its watermark" bash -c "! grep -qi watermark '$WORK/cli.err'"
else
  check "tarn-record exits 0" false
  cat "$WORK/cli.err"
fi

echo "package-deb: $failures failed"
[ "$failures" -eq 0 ]
