#!/usr/bin/env bash
# Installs what the tests need, builds, starts the test rig (Xvfb and
# PulseAudio, only where none runs) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
# shellcheck source=scripts/test-rig.sh
source scripts/test-rig.sh
trap rig_stop EXIT
set +e
(cd build && ctest --output-on-failure --timeout 600 -j "${TARN_TEST_JOBS:-2}" "$@")
status=$?
set -e
exit "$status"
