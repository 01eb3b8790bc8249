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
pellorin_through_files "${run[@]}"
