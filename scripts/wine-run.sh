#!/bin/bash
# CTest's emulator: runs one Windows program under Wine in the build tree's own prefix.
# Usage: wine-run.sh BUILD_DIR PROGRAM.exe [ARGS...]
# PELLORIN_WINE_PREFIX names another prefix of the build tree, for a test program
# that must have Windows' per-user state (its classes, registry, named objects) to itself.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="$(cd "$1" && pwd)"; shift
prefix="$build/${PELLORIN_WINE_PREFIX:-wineprefix}"
pellorin_ensure_prefix "$prefix"
pellorin_ensure_xvfb "$build/xvfb"
pellorin_wine_env "$prefix"
run=(timeout --kill-after=10 "${PELLORIN_WINE_TIMEOUT:-600}" wine "$@")
if [ -t 1 ] && [ -t 2 ]; then
  exec "${run[@]}"
fi
pellorin_through_files "${run[@]}"
