#!/bin/bash
# Builds Pellorin and its test programs for Win32 and runs the whole suite under Wine.
set -euo pipefail
source "$(dirname "$0")/common.sh"
pellorin_ensure_packages
cd "$PELLORIN_ROOT"

build="$PELLORIN_ROOT/build"
# The second is PellorinSync's own, so that its tests run beside the window's.
prefixes=("$build/wineprefix" "$build/wineprefix-sync")
cleanup() {
  local prefix
  for prefix in "${prefixes[@]}"; do
    if [ -d "$prefix" ]; then
      pellorin_wine_env "$prefix"
      timeout 30 wineserver -k 2>/dev/null || true
    fi
  done
  pellorin_stop_xvfb "$build/xvfb"
}
trap cleanup EXIT

cmake --preset mingw-i686-ci >/dev/null
cmake --build --preset mingw-i686-ci
for prefix in "${prefixes[@]}"; do
  pellorin_ensure_prefix "$prefix"
done
ctest --preset mingw-i686-ci "$@"
