#!/bin/bash
# Builds Pellorin and its test programs for Win32 and runs the whole suite under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"
pellorin_ensure_packages
cd "$PELLORIN_ROOT"

build="$PELLORIN_ROOT/build"
cleanup() {
  if [ -d "$build/wineprefix" ]; then
    pellorin_wine_env "$build/wineprefix"
    timeout 30 wineserver -k 2>/dev/null || true
  fi
  pellorin_stop_xvfb "$build/xvfb"
}
trap cleanup EXIT

cmake --preset mingw-i686-ci >/dev/null
cmake --build --preset mingw-i686-ci
pellorin_ensure_prefix "$build/wineprefix"
ctest --preset mingw-i686-ci "$@"
