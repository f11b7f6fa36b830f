#!/usr/bin/env bash
# Installs what TarnRecorder needs, builds it and starts it on the current
# display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display is set (DISPLAY); start TarnRecorder from a desktop session" >&2
  exit 1
fi
exec build/bin/tarnrecorder
