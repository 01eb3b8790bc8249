#!/bin/bash
# Makes the release as its README says, from a copy of the sources in another
# folder, and checks the zip: exactly the expected files, in name order, a
# SHA256SUMS that matches them, exes byte for byte the ones this build tree
# made and tested, and a README.txt for Windows whose usage block is what the
# shipped PellorinSync.exe prints. Two folders give the same bytes only when
# neither the time nor a folder's name gets into the exes.
# Beside the zip: the MSI (the same bytes as one made here from this build's
# exes), the policy templates, the winget manifest and a SHA256SUMS of them.
# Then it makes a signed release with a throwaway certificate and checks that
# both exes and the MSI carry a valid signature by it, around the tested exes.
# Usage: check_release.sh SOURCE_DIR BINARY_DIR WORK_DIR ZIP_NAME SHIPPED_EXE...
set -euo pipefail
src="$1" binary="$2" work="$3" zip_name="$4"
shift 4
exes=("$@")

# shellcheck disable=SC1091
source "$(dirname "$0")/fail.sh"

rm -rf "$work"
copy="$work/elsewhere/Pellorin-copy"
mkdir -p "$copy"
# What a clone holds: no Git data and no build trees, this one included.
excludes=(--exclude=./.git --exclude=./build --exclude='./build-*')
case "$binary/" in "$src"/*) excludes+=("--exclude=./${binary#"$src"/}") ;; esac
tar -C "$src" "${excludes[@]}" -cf - . | tar -C "$copy" -xf -

names=(LICENSE README.md README.txt SHA256SUMS)
for exe in "${exes[@]}"; do names+=("$(basename "$exe")"); done
for name in Pellorin.exe PellorinSync.exe; do
  printf '%s\n' "${names[@]}" | grep -qx "$name" || fail "$name is not among the shipped programs"
done
expected="$(printf '%s\n' "${names[@]}" | LC_ALL=C sort)"

# make_release LABEL UNPACK_DIR [VARIABLE=VALUE...]: runs scripts/release.sh in
# the copy with those variables set, checks the zip's files and SHA256SUMS, and
# unpacks it.
make_release() {
  local label="$1" unpacked="$2" start=$SECONDS
  shift 2
  # One job: CTest runs this beside the Wine tests, which mostly wait. Both releases
  # compile the same objects in the same folder: with ccache at hand, the second
  # takes them from the first (the exes are compared byte for byte all the same).
  local cache=()
  if command -v ccache >/dev/null; then
    cache=(CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$copy")
  fi
  if ! env "$@" "${cache[@]}" PELLORIN_JOBS=1 bash "$copy/scripts/release.sh" >"$work/release-$label.log" 2>&1; then
    tail -n 40 "$work/release-$label.log" >&2
    fail "scripts/release.sh ($label) failed in the copy $copy"
  fi
  echo "Release ($label) made in $copy in $((SECONDS - start)) s"
  local zip="$copy/build-release/$zip_name"
  [ -f "$zip" ] || fail "scripts/release.sh ($label) made no $zip_name"
  local listing
  listing="$(cmake -E tar tf "$zip")"
  [ "$listing" = "$expected" ] ||
    fail "$zip_name ($label) holds, in this order:" "$listing" "instead of:" "$expected"
  mkdir -p "$unpacked"
  (cd "$unpacked" && cmake -E tar xf "$zip")
  (cd "$unpacked" && sha256sum --strict --quiet -c SHA256SUMS) ||
    fail "SHA256SUMS ($label) does not match the files beside it"
  local summed
  summed="$(sed 's/^[0-9a-f]\{64\}  //' "$unpacked/SHA256SUMS")"
  [ "$summed" = "$(grep -vx SHA256SUMS <<<"$expected")" ] ||
    fail "SHA256SUMS ($label) lists:" "$summed" "instead of every other file in the zip, in name order"
}

# check_beside_zip LABEL: what release.sh writes beside the zip for the
# administrators' tools: the MSI, the policy templates as the repository has
# them, the winget manifest of that MSI, and a SHA256SUMS of all of it.
release="$copy/build-release"
msi_name="Pellorin-${zip_name#Pellorin-}"
msi_name="${msi_name%-win32.zip}.msi"
winget_id="$(sed -n "s/^PELLORIN_WINGET_ID='\(.*\)'\$/\1/p" "$binary/release-settings.sh")"
check_beside_zip() {
  local label="$1"
  local published=("$zip_name" "$msi_name" PolicyDefinitions/Pellorin.admx PolicyDefinitions/en-US/Pellorin.adml
                   "winget/$winget_id.installer.yaml" "winget/$winget_id.locale.en-US.yaml" "winget/$winget_id.yaml")
  local listed
  listed="$(sed 's/^[0-9a-f]\{64\}  //' "$release/SHA256SUMS" 2>/dev/null || true)"
  [ "$listed" = "$(printf '%s\n' "${published[@]}" | LC_ALL=C sort)" ] ||
    fail "build-release/SHA256SUMS ($label) lists:" "$listed" "instead of:" "${published[@]}"
  (cd "$release" && sha256sum --strict --quiet -c SHA256SUMS) ||
    fail "build-release/SHA256SUMS ($label) does not match the files it lists"
  cmp -s "$src/packaging/policies/Pellorin.admx" "$release/PolicyDefinitions/Pellorin.admx" &&
    cmp -s "$src/packaging/policies/en-US/Pellorin.adml" "$release/PolicyDefinitions/en-US/Pellorin.adml" ||
    fail "the released policy templates ($label) are not the repository's"

  # The fields winget's 1.12.0 schema requires of each file, and an installer
  # entry that is this MSI.
  local dir="$release/winget" version product_code sha
  version="$(msiinfo export "$release/$msi_name" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')"
  product_code="$(msiinfo export "$release/$msi_name" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')"
  sha="$(sha256sum "$release/$msi_name" | cut -c1-64)"
  field() { grep -m1 "^ *-\? *$2: " "$dir/$1" | sed "s/^ *-\? *$2: //; s/^'\(.*\)'\$/\1/"; }
  local file want
  for file in "$winget_id.yaml" "$winget_id.installer.yaml" "$winget_id.locale.en-US.yaml"; do
    [ "$(field "$file" PackageIdentifier)" = "$winget_id" ] || fail "$file ($label): PackageIdentifier"
    [ "$(field "$file" PackageVersion)" = "$version" ] || fail "$file ($label): PackageVersion is not $version"
    [ "$(field "$file" ManifestVersion)" = 1.12.0 ] || fail "$file ($label): ManifestVersion is not 1.12.0"
    head -n 1 "$dir/$file" | grep -q 'schema=https://aka.ms/winget-manifest\.[a-zA-Z]*\.1\.12\.0\.schema\.json$' ||
      fail "$file ($label) names no 1.12.0 schema"
  done
  [ "$(field "$winget_id.yaml" ManifestType)" = version ] || fail "$winget_id.yaml ($label): ManifestType"
  [ "$(field "$winget_id.yaml" DefaultLocale)" = en-US ] || fail "$winget_id.yaml ($label): DefaultLocale"
  file="$winget_id.installer.yaml"
  [ "$(field "$file" ManifestType)" = installer ] || fail "$file ($label): ManifestType"
  grep -q '^Installers:$' "$dir/$file" || fail "$file ($label) has no Installers"
  [ "$(field "$file" Architecture)" = x86 ] || fail "$file ($label): Architecture"
  [ "$(field "$file" InstallerType)" = msi ] || fail "$file ($label): InstallerType"
  [[ "$(field "$file" InstallerUrl)" == https://*/"$msi_name" ]] || fail "$file ($label): InstallerUrl $(field "$file" InstallerUrl)"
  want="${sha^^}"
  [ "$(field "$file" InstallerSha256)" = "$want" ] || fail "$file ($label): InstallerSha256 is not the MSI's $want"
  [ "$(field "$file" ProductCode)" = "$product_code" ] || fail "$file ($label): ProductCode is not the MSI's $product_code"
  file="$winget_id.locale.en-US.yaml"
  [ "$(field "$file" ManifestType)" = defaultLocale ] || fail "$file ($label): ManifestType"
  [ "$(field "$file" PackageLocale)" = en-US ] || fail "$file ($label): PackageLocale"
  for want in Publisher PackageName License ShortDescription; do
    [ -n "$(field "$file" "$want")" ] || fail "$file ($label) has no $want"
  done
  [ "$(field "$file" Publisher)" = "$(msiinfo export "$release/$msi_name" Property | tr -d '\r' |
        awk -F'\t' '$1 == "Manufacturer" { print $2 }')" ] || fail "$file ($label): Publisher is not the MSI's maker"
}

# --- Unsigned: reproducible, and what the suite tested ---
unsigned="$work/unsigned"
make_release unsigned "$unsigned"
check_beside_zip unsigned
# The MSI from the copy is the one this build's exes make here: the same bytes
# from two folders.
mkdir -p "$work/msi-files"
cp "${exes[@]}" "$src/README.txt" "$src/LICENSE" "$work/msi-files/"
bash "$src/packaging/make_msi.sh" "$binary/release-settings.sh" "$work/msi-files" "$work/here.msi" >/dev/null ||
  fail "make_msi.sh failed on this build's exes"
cmp -s "$work/here.msi" "$release/$msi_name" ||
  fail "$msi_name made in $copy differs from the one made here from the same exes" \
    "$(cmp -l "$work/here.msi" "$release/$msi_name" | head -n 10)"
for exe in "${exes[@]}"; do
  name="$(basename "$exe")"
  if ! cmp -s "$exe" "$unsigned/$name"; then
    cmp -l "$exe" "$unsigned/$name" | head -n 20 >&2 || true
    fail "$name built in $copy differs from $exe (byte offsets, octal values above;" \
         "i686-w64-mingw32-objdump -p shows the time stamp, strings the folders)"
  fi
  for dir in "$src" "$copy"; do
    if grep -qaF "$dir" "$unsigned/$name"; then fail "$name names the build folder $dir"; fi
  done
done

# README.txt is read in Notepad, on Windows 7 too: ASCII, CR LF, 100 columns.
readme="$unsigned/README.txt"
if LC_ALL=C grep -q '[^ -~'$'\r'']' "$readme"; then
  fail "README.txt holds characters other than printable ASCII:" "$(LC_ALL=C grep -n '[^ -~'$'\r'']' "$readme" | head -n 5)"
fi
cmp -s "$readme" <(tr -d '\r' <"$readme" | sed 's/$/\r/') ||
  fail "README.txt has a line that does not end in CR LF (or a CR elsewhere)"
long="$(tr -d '\r' <"$readme" | awk 'length($0) > 100 { print NR ": " length($0) " columns" }')"
[ -z "$long" ] || fail "README.txt has lines longer than 100 columns:" "$long"
# Its usage block is indented by four spaces, from "Usage:" to the next line
# that is not.
# awk reads to the end: leaving early would cut tr off with SIGPIPE, which
# pipefail turns into a silent stop of the whole check.
usage_in_readme="$(tr -d '\r' <"$readme" | awk '
  $0 == "    Usage:" && !done { inside = 1 }
  inside && $0 != "" && substr($0, 1, 4) != "    " { inside = 0; done = 1 }
  inside { print substr($0, 5) }')"
[ -n "$usage_in_readme" ] || fail "README.txt has no usage block (a line \"    Usage:\")"
help_out="$(bash "$src/scripts/wine-run.sh" "$binary" "$unsigned/PellorinSync.exe" --help)" ||
  fail "PellorinSync.exe --help failed under Wine"
help_out="$(tr -d '\r' <<<"$help_out")"
if [ "$usage_in_readme" != "$help_out" ]; then
  diff <(echo "$usage_in_readme") <(echo "$help_out") >&2 || true
  fail "README.txt's usage block (<) differs from PellorinSync --help (>)"
fi

# --- Signed, with a certificate made for this check alone ---
keys="$work/signing"
mkdir -p "$keys"
password="check-$RANDOM$RANDOM"
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Pellorin release check" \
  -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null ||
  fail "openssl could not make the throwaway certificate"
PASSWORD="$password" openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" \
  -out "$keys/sign.pfx" -passout env:PASSWORD || fail "openssl could not make the PKCS#12 file"
leaf="$(openssl x509 -in "$keys/cert.pem" -outform DER | sha256sum | cut -c1-64)"

signed="$work/signed"
make_release signed "$signed" PELLORIN_SIGN_PFX="$keys/sign.pfx" PELLORIN_SIGN_PASSWORD="$password"
cmp -s "$unsigned/README.txt" "$signed/README.txt" || fail "README.txt differs in the signed release"
check_beside_zip signed
osslsigncode verify -CAfile "$keys/cert.pem" -require-leaf-hash "sha256:$leaf" -in "$release/$msi_name" \
  >"$work/verify-msi.log" 2>&1 || { cat "$work/verify-msi.log" >&2; fail "$msi_name's signature does not verify"; }
for exe in "${exes[@]}"; do
  name="$(basename "$exe")"
  osslsigncode verify -CAfile "$keys/cert.pem" -require-leaf-hash "sha256:$leaf" -in "$signed/$name" \
    >"$work/verify-$name.log" 2>&1 || { cat "$work/verify-$name.log" >&2; fail "$name's signature does not verify"; }
  grep -q 'Message digest algorithm *: SHA256' "$work/verify-$name.log" || fail "$name is not signed with SHA-256"
  inner="$work/inner-$name"
  osslsigncode remove-signature -in "$signed/$name" -out "$inner" >/dev/null ||
    fail "osslsigncode could not remove $name's signature"
  # Signing pads the file to a multiple of 8 bytes and sets the PE header's
  # checksum; remove-signature keeps both. Everything else must be the tested exe's.
  size="$(stat -c %s "$exe")"
  [ "$(stat -c %s "$inner")" -lt $((size + 8)) ] && [ -z "$(tail -c +$((size + 1)) "$inner" | tr -d '\0')" ] ||
    fail "$name holds more than the tested exe and its padding"
  truncate -s "$size" "$inner"
  pe="$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')"
  dd if="$exe" of="$inner" bs=1 skip=$((pe + 88)) seek=$((pe + 88)) count=4 conv=notrunc status=none
  cmp -s "$exe" "$inner" || fail "the unsigned exe inside the signed $name is not the tested $exe"
done

rm -rf "$work"
echo "$zip_name: ${#names[@]} files in name order, SHA256SUMS right, README.txt right," \
     "exes identical to this build's: ${exes[*]}; $msi_name reproducible, manifest and templates right;" \
     "signed release verified"
