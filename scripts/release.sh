#!/bin/bash
# Makes the release, build-release/Pellorin-<version>-win32.zip, from a clean
# build without the tests.
set -euo pipefail
source "$(dirname "$0")/common.sh"
pellorin_ensure_packages "${PELLORIN_BUILD_PACKAGES[@]}"
cd "$PELLORIN_ROOT"

build="$PELLORIN_ROOT/build-release"
rm -rf "$build"

# Times inside the zip are the commit's, so the same commit gives the same zip.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] &&
   [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$PELLORIN_ROOT" ]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
  export SOURCE_DATE_EPOCH
fi
export TZ=UTC

cmake --preset mingw-i686-release >/dev/null
cmake --build --preset mingw-i686-release ${PELLORIN_JOBS:+--parallel "$PELLORIN_JOBS"}
cpack --preset mingw-i686-release >/dev/null

zip=("$build"/Pellorin-*-win32.zip)
[ -f "${zip[0]}" ] || { echo "cpack made no zip in $build" >&2; exit 1; }
echo "Release: ${zip[0]}"
