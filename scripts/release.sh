#!/bin/bash
# Makes the release from a clean build without the tests, in build-release:
#   Pellorin-<version>-win32.zip  for one user to unpack
#   Pellorin-<version>.msi        the machine-wide installer, for Intune,
#                                 Group Policy or Configuration Manager
#   PolicyDefinitions/            the ADMX template and its en-US ADML
#   winget/                       the winget manifest of this version
#   SHA256SUMS                    of all of these
#
# Signing: with PELLORIN_SIGN_PFX naming a PKCS#12 file (certificate and key),
# both exes and the MSI are signed with Authenticode (SHA-256) before the checksums are
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
  pellorin_ensure_packages "${PELLORIN_BUILD_PACKAGES[@]}" wixl msitools python3 osslsigncode
else
  pellorin_ensure_packages "${PELLORIN_BUILD_PACKAGES[@]}" wixl msitools python3
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

# The version, the maker and the installer's codes, as cmake/release.cmake has them.
# shellcheck disable=SC1091
source "$build/release-settings.sh"

sign_files() { :; }
if [ -n "$pfx" ]; then
  sign=(osslsigncode sign -pkcs12 "$pfx" -h sha256 -n Pellorin -i "$PELLORIN_WEB_ADDRESS")
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
  # osslsigncode signs an MSI as it does an exe, timestamp and all.
  sign_files() {
    local file
    for file in "$@"; do
      if ! "${sign[@]}" -in "$file" -out "$file.signed" >"$secret/log" 2>&1; then
        cat "$secret/log" >&2
        echo "Signing $file failed." >&2
        exit 1
      fi
      mv "$file.signed" "$file"
      echo "Signed: $file"
    done
  }
fi
mapfile -t exes <"$build/shipped-exes.txt"
sign_files "${exes[@]}"

cpack --preset mingw-i686-release >/dev/null

zip=("$build"/Pellorin-*-win32.zip)
[ -f "${zip[0]}" ] || { echo "cpack made no zip in $build" >&2; exit 1; }
echo "Release: ${zip[0]}"

# The MSI holds the same files as the zip (README.md aside), signed exes included.
msi_files="$build/msi-files"
rm -rf "$msi_files"
mkdir -p "$msi_files"
cp "${exes[@]}" README.txt LICENSE "$msi_files/"
msi="$build/Pellorin-$PELLORIN_VERSION.msi"
product_code="$(bash packaging/make_msi.sh "$build/release-settings.sh" "$msi_files" "$msi")"
sign_files "$msi"
rm -rf "${secret:-}" "$msi_files"
echo "Release: $msi"

rm -rf "$build/PolicyDefinitions" "$build/winget"
mkdir -p "$build/PolicyDefinitions/en-US" "$build/winget"
cp packaging/policies/Pellorin.admx "$build/PolicyDefinitions/"
cp packaging/policies/en-US/Pellorin.adml "$build/PolicyDefinitions/en-US/"

# The licence's name is the first line of LICENSE ("MIT License").
license="$(head -n 1 LICENSE | tr -d '\r')"
license="${license% License}"
sha256="$(sha256sum "$msi" | cut -c1-64)"
write_manifest() {
  local template="$1" out="$2" text
  text="$(<"$template")"
  text="${text//@ID@/$PELLORIN_WINGET_ID}"
  text="${text//@VERSION@/$PELLORIN_VERSION}"
  text="${text//@MAKER@/$PELLORIN_MAKER}"
  text="${text//@WEB_ADDRESS@/$PELLORIN_WEB_ADDRESS}"
  text="${text//@INSTALLER_URL@/$PELLORIN_INSTALLER_URL}"
  text="${text//@SHA256@/${sha256^^}}"
  text="${text//@PRODUCT_CODE@/$product_code}"
  text="${text//@UPGRADE_CODE@/$PELLORIN_UPGRADE_CODE}"
  text="${text//@LICENSE@/$license}"
  printf '%s\n' "$text" >"$out"
}
write_manifest packaging/winget/version.yaml.in "$build/winget/$PELLORIN_WINGET_ID.yaml"
write_manifest packaging/winget/installer.yaml.in "$build/winget/$PELLORIN_WINGET_ID.installer.yaml"
write_manifest packaging/winget/locale.en-US.yaml.in "$build/winget/$PELLORIN_WINGET_ID.locale.en-US.yaml"

# Everything published, in sha256sum's format with paths from build-release.
(
  cd "$build"
  find "${zip[0]##*/}" "${msi##*/}" PolicyDefinitions winget -type f | LC_ALL=C sort | xargs sha256sum
) >"$build/SHA256SUMS"
echo "Release: $build/SHA256SUMS"
