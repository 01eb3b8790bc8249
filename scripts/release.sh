#!/bin/bash
# Makes the release, build-release/Pellorin-<version>-win32.zip, from a clean
# build without the tests.
#
# Signing: with PELLORIN_SIGN_PFX naming a PKCS#12 file (certificate and key),
# both exes are signed with Authenticode (SHA-256) before the checksums are
# made. Its password comes from PELLORIN_SIGN_PASSWORD, and an RFC 3161
# timestamp server from PELLORIN_SIGN_TIMESTAMP_URL, if set. Without
# PELLORIN_SIGN_PFX the release is unsigned, and the same commit gives the same
# bytes.
set -euo pipefail
source "$(dirname "$0")/common.sh"

pfx=""
if [ -n "${PELLORIN_SIGN_PFX:-}" ]; then
  [ -f "$PELLORIN_SIGN_PFX" ] || { echo "PELLORIN_SIGN_PFX names no file: $PELLORIN_SIGN_PFX" >&2; exit 1; }
  pfx="$(realpath "$PELLORIN_SIGN_PFX")"
  pellorin_ensure_packages "${PELLORIN_BUILD_PACKAGES[@]}" osslsigncode
else
  pellorin_ensure_packages "${PELLORIN_BUILD_PACKAGES[@]}"
fi
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

if [ -n "$pfx" ]; then
  sign=(osslsigncode sign -pkcs12 "$pfx" -h sha256 -n Pellorin -i https://pellorin.example.org/)
  # The password goes through a file of our own, not the command line that ps shows.
  secret="$(mktemp -d)"
  trap 'rm -rf "$secret"' EXIT
  if [ -n "${PELLORIN_SIGN_PASSWORD+set}" ]; then
    printf '%s' "$PELLORIN_SIGN_PASSWORD" >"$secret/password"
    sign+=(-readpass "$secret/password")
  fi
  if [ -n "${PELLORIN_SIGN_TIMESTAMP_URL:-}" ]; then
    sign+=(-ts "$PELLORIN_SIGN_TIMESTAMP_URL")
  fi
  mapfile -t exes <"$build/shipped-exes.txt"
  for exe in "${exes[@]}"; do
    if ! "${sign[@]}" -in "$exe" -out "$exe.signed" >"$secret/log" 2>&1; then
      cat "$secret/log" >&2
      echo "Signing $exe failed." >&2
      exit 1
    fi
    mv "$exe.signed" "$exe"
    echo "Signed: $exe"
  done
  rm -rf "$secret"
fi

cpack --preset mingw-i686-release >/dev/null

zip=("$build"/Pellorin-*-win32.zip)
[ -f "${zip[0]}" ] || { echo "cpack made no zip in $build" >&2; exit 1; }
echo "Release: ${zip[0]}"
