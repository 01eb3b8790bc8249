#!/bin/bash
# Makes the machine-wide MSI from the shipped files, the same bytes from the
# same files wherever it runs: wixl draws the package code and stamps the time
# of the run, so both are set afterwards, from the files and from
# SOURCE_DATE_EPOCH.
# Usage: make_msi.sh RELEASE_SETTINGS FILES_DIR OUT_MSI [VERSION]
#   RELEASE_SETTINGS: release-settings.sh from the build folder
#   FILES_DIR: Pellorin.exe, PellorinSync.exe, README.txt and LICENSE
#   VERSION: instead of the settings' one (the upgrade test makes a next version)
set -euo pipefail
settings="$1" files="$2" out="$3"
# shellcheck disable=SC1090
source "$settings"
version="${4:-$PELLORIN_VERSION}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# A name-based (SHA-1) UUID, as RFC 4122 section 4.3 makes it: the same
# namespace and name always give the same one, a new name a new one.
name_uuid() {
  local namespace="${1//-/}" name="$2" escaped hash
  escaped="$(sed 's/../\\x&/g' <<<"$namespace")"
  hash="$({ printf "$escaped"; printf '%s' "$name"; } | sha1sum | cut -c1-32)"
  local variant=$(( (16#${hash:16:1} & 3) | 8 ))
  hash="${hash:0:12}5${hash:13:3}$(printf '%x' "$variant")${hash:17}"
  hash="${hash^^}"
  echo "${hash:0:8}-${hash:8:4}-${hash:12:4}-${hash:16:4}-${hash:20:12}"
}

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
shipped=(Pellorin.exe PellorinSync.exe README.txt LICENSE)
for name in "${shipped[@]}"; do
  [ -f "$files/$name" ] || { echo "make_msi.sh: no $files/$name" >&2; exit 1; }
  cp "$files/$name" "$stage/"
done
cp "$PELLORIN_ICON" "$stage/Pellorin.ico"
cp "$here/Pellorin.wxs" "$stage/"
# Without a commit to take the time from, a fixed one: any time of the run
# would make each build's bytes differ.
epoch="${SOURCE_DATE_EPOCH:-1767225600}"
# The cabinet inside keeps each file's time.
touch -d "@$epoch" "$stage"/*

product_code="$(name_uuid "$PELLORIN_UPGRADE_CODE" "Pellorin $version")"
# The package code names these exact bytes: new with any file (a signed exe
# makes a new package), the same for the same files.
contents="$(cd "$stage" && sha256sum "${shipped[@]}" Pellorin.ico Pellorin.wxs)"
package_code="$(name_uuid "$PELLORIN_UPGRADE_CODE" "Pellorin $version package $contents")"

rm -f "$out"
(
  cd "$stage"
  # wixl's GLib warnings go to the log; a failure still fails.
  wixl -a x86 -o "$stage/Pellorin.msi" \
    -D "Version=$version" -D "UpgradeCode=$PELLORIN_UPGRADE_CODE" -D "ProductCode=$product_code" \
    -D "Manufacturer=$PELLORIN_MAKER" -D "WebAddress=$PELLORIN_WEB_ADDRESS" Pellorin.wxs
  msibuild Pellorin.msi -s "Pellorin $version" "$PELLORIN_MAKER" "Intel;1033" "{$package_code}"
  SOURCE_DATE_EPOCH="$epoch" TZ=UTC python3 "$here/msi_fixed_times.py" Pellorin.msi
) >"$stage/log" 2>&1 || { cat "$stage/log" >&2; echo "make_msi.sh: wixl or msibuild failed" >&2; exit 1; }
mv "$stage/Pellorin.msi" "$out"
echo "{$product_code}"
