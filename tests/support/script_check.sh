# Shared by the shell tests: `check "what" command...` runs the command and
# reports ok or FAILED; `failures` counts the failed checks; `finish` ends the
# test with the verdict.
failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
  exit $?
}
