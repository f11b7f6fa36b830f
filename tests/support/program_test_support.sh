# Shared by the shell tests of the program. Source it after `set -u`.
#
#   require_display TOOL...   skips the test (exit 77) without a reachable X
#                             display or without one of the tools
#   use_private_home PREFIX   makes WORK, a private HOME and runtime folder
#                             under /tmp, removed at the end with every
#                             process listed in PIDS; the program runs in
#                             Chinese, the language the tests check
#   check "what" COMMAND...   runs the command, reports ok or FAILED
#   wait_for_exit PID         waits up to 15 s for the process to end (kills it
#                             and fails otherwise); its exit code in EXIT_CODE
#   finish                    ends the test with the verdict

failures=0
PIDS=()
EXIT_CODE=""

require_display() {
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    echo "SKIP: no X display (run the tests through scripts/test.sh, which starts Xvfb)"
    exit 77
  fi
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
}

cleanup_work() {
  local pid
  for pid in "${PIDS[@]}"; do
    { kill -9 "$pid" && wait "$pid"; } 2>/dev/null
  done
  [ -n "${WORK:-}" ] && rm -rf "$WORK"
}

use_private_home() {
  WORK="$(mktemp -d "/tmp/$1-XXXXXX")"
  trap cleanup_work EXIT
  export HOME="$WORK/home"
  export XDG_RUNTIME_DIR="$WORK/runtime"
  unset XDG_DATA_HOME XDG_CONFIG_HOME
  export LANGUAGE=zh_CN
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

wait_for_exit() {
  local pid="$1"
  for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    check "process $pid ends within 15 s" false
    kill -9 "$pid"
  fi
  wait "$pid"
  EXIT_CODE=$?
}

finish() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
  exit $?
}
