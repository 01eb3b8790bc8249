#!/bin/bash
# Makes the release as its README says, from a copy of the sources in another
# folder, and checks the zip: exactly the expected files, in name order, a
# SHA256SUMS that matches them, and exes byte for byte the ones this build tree
# made and tested. Two folders give the same bytes only when neither the time
# nor a folder's name gets into the exes.
# Usage: check_release.sh SOURCE_DIR BINARY_DIR WORK_DIR ZIP_NAME SHIPPED_EXE...
set -euo pipefail
src="$1" binary="$2" work="$3" zip_name="$4"
shift 4
exes=("$@")

fail() {
  echo "FAILED: $1" >&2
  shift
  if [ $# -gt 0 ]; then printf '%s\n' "$@" >&2; fi
  echo "Left for a look: $work" >&2
  exit 1
}

rm -rf "$work"
copy="$work/elsewhere/Pellorin-copy"
mkdir -p "$copy"
# What a clone holds: no Git data and no build trees, this one included.
excludes=(--exclude=./.git --exclude=./build --exclude='./build-*')
case "$binary/" in "$src"/*) excludes+=("--exclude=./${binary#"$src"/}") ;; esac
tar -C "$src" "${excludes[@]}" -cf - . | tar -C "$copy" -xf -

start=$SECONDS
# One job: CTest runs this beside a Wine test, one core each.
if ! PELLORIN_JOBS=1 bash "$copy/scripts/release.sh" >"$work/release.log" 2>&1; then
  tail -n 40 "$work/release.log" >&2
  fail "scripts/release.sh failed in the copy $copy"
fi
echo "Release made in $copy in $((SECONDS - start)) s"
zip="$copy/build-release/$zip_name"
[ -f "$zip" ] || fail "scripts/release.sh made no $zip_name"

names=(LICENSE README.md SHA256SUMS)
for exe in "${exes[@]}"; do names+=("$(basename "$exe")"); done
printf '%s\n' "${names[@]}" | grep -qx Pellorin.exe || fail "Pellorin.exe is not among the shipped programs"
expected="$(printf '%s\n' "${names[@]}" | LC_ALL=C sort)"
listing="$(cmake -E tar tf "$zip")"
[ "$listing" = "$expected" ] ||
  fail "$zip_name holds, in this order:" "$listing" "instead of:" "$expected"

unpacked="$work/unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
(cd "$unpacked" && sha256sum --strict --quiet -c SHA256SUMS) ||
  fail "SHA256SUMS does not match the files beside it"
summed="$(sed 's/^[0-9a-f]\{64\}  //' "$unpacked/SHA256SUMS")"
[ "$summed" = "$(grep -vx SHA256SUMS <<<"$expected")" ] ||
  fail "SHA256SUMS lists:" "$summed" "instead of every other file in the zip, in name order"

for exe in "${exes[@]}"; do
  name="$(basename "$exe")"
  if ! cmp -s "$exe" "$unpacked/$name"; then
    cmp -l "$exe" "$unpacked/$name" | head -n 20 >&2 || true
    fail "$name built in $copy differs from $exe (byte offsets, octal values above;" \
         "i686-w64-mingw32-objdump -p shows the time stamp, strings the folders)"
  fi
  for dir in "$src" "$copy"; do
    if grep -qaF "$dir" "$unpacked/$name"; then fail "$name names the build folder $dir"; fi
  done
done

rm -rf "$work"
echo "$zip_name: ${#names[@]} files in name order, SHA256SUMS right," \
     "exes identical to this build's: ${exes[*]}"
