#!/usr/bin/env bash
# Configures and builds TarnRecorder into build/ (programs in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="${TARN_JOBS:-$(nproc)}"
cmake -S . -B build -DCMAKE_BUILD_TYPE="${TARN_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build build -j "$JOBS"
