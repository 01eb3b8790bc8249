#!/bin/bash
# CTest's emulator: runs one Windows program under Wine in the build tree's own prefix.
# Usage: wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="$(cd "$1" && pwd)"; shift
pellorin_ensure_prefix "$build/wineprefix"
pellorin_ensure_xvfb "$build/xvfb"
pellorin_wine_env "$build/wineprefix"
run=(timeout --kill-after=10 "${PELLORIN_WINE_TIMEOUT:-600}" wine "$@")
if [ -t 1 ] && [ -t 2 ]; then
  exec "${run[@]}"
fi
# The first program of a prefix starts Wine's own processes (the server, services,
# explorer), which inherit its output and hold it open until the prefix is idle: a
# reader waiting for the end of the output, as CTest does, would wait for all the
# tests running beside it. So the output goes through files, copied out at the end.
out="$(mktemp)"; err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
status=0
"${run[@]}" >"$out" 2>"$err" || status=$?
cat "$out"
cat "$err" >&2
exit "$status"
