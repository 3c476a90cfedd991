#!/usr/bin/env bash
# Runs a test program on a private X server started by xvfb-run. Where none can be started
# the program runs as it is and its tests skip, saying why; the script then exits 77, which
# CTest reports as skipped rather than passed.
set -uo pipefail
program=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
# The X and SDL libraries keep some allocations until exit.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
out=$(mktemp)
trap 'rm -f "$out"' EXIT

status=127
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 800x700x24 -nolisten tcp" "$program" "$@" >"$out" 2>&1
  status=$?
  cat "$out"
  if [[ $status -ne 0 ]] && grep -q 'Xvfb failed to start' "$out"; then
    status=127
  fi
fi
if [[ $status -eq 127 ]]; then
  echo "run_under_x: no X server can be started here (xvfb-run is missing or fails)"
  "$program" "$@" >"$out" 2>&1
  status=$?
  cat "$out"
fi

if [[ $status -eq 0 ]] && grep -q '^\[  PASSED  \] 0 tests' "$out"; then
  exit 77
fi
exit "$status"
