#!/bin/bash
# The MSI as an administrator's tools use it, in a Wine prefix of its own (a
# copy of the build tree's): its tables read back with msiinfo, the same bytes
# from files in another folder, then a silent install, the installed programs
# starting, an upgrade to a next version, an older version refused over it, and
# a silent uninstall that leaves the user's own settings and token cache alone.
# Usage: check_msi.sh SOURCE_DIR BINARY_DIR WORK_DIR PELLORIN_EXE PELLORIN_SYNC_EXE
set -euo pipefail
src="$1" binary="$2" work="$3" pellorin_exe="$4" sync_exe="$5"
source "$src/scripts/common.sh"
# shellcheck disable=SC1091
source "$binary/release-settings.sh"

# shellcheck disable=SC1091
source "$(dirname "$0")/fail.sh"

rm -rf "$work"
mkdir -p "$work"
version="$PELLORIN_VERSION"
next="${version%%.*}.$(( ${version#*.} + 1 ))"

# --- The packages: this version, and a next one with a README of its own ---
files="$work/files"
mkdir -p "$files"
cp "$pellorin_exe" "$sync_exe" "$src/README.txt" "$src/LICENSE" "$files/"
msi="$work/Pellorin-$version.msi"
code="$(bash "$src/packaging/make_msi.sh" "$binary/release-settings.sh" "$files" "$msi")" ||
  fail "make_msi.sh failed"
next_files="$work/next-files"
cp -r "$files" "$next_files"
printf 'Version %s.\r\n' "$next" >>"$next_files/README.txt"
next_msi="$work/Pellorin-$next.msi"
next_code="$(bash "$src/packaging/make_msi.sh" "$binary/release-settings.sh" "$next_files" "$next_msi" "$next")" ||
  fail "make_msi.sh failed for $next"
[ "$code" != "$next_code" ] || fail "versions $version and $next have the same ProductCode $code"

# The same files, copied at another time into another folder, give the same bytes.
again="$work/elsewhere/files"
mkdir -p "$again"
cp "$files"/* "$again/"
touch "$again"/*
bash "$src/packaging/make_msi.sh" "$binary/release-settings.sh" "$again" "$work/again.msi" >/dev/null
cmp -s "$msi" "$work/again.msi" || fail "the MSI differs when made from the same files elsewhere" \
  "$(cmp -l "$msi" "$work/again.msi" | head -n 10)"

# --- Its tables ---
# msiinfo ends its lines in CR LF.
table() { msiinfo export "$1" "$2" | tr -d '\r'; }
property() { table "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
[ "$(property "$msi" ProductName)" = Pellorin ] || fail "ProductName is $(property "$msi" ProductName)"
[ "$(property "$msi" ProductVersion)" = "$version" ] || fail "ProductVersion is $(property "$msi" ProductVersion)"
[ "$(property "$msi" Manufacturer)" = "$PELLORIN_MAKER" ] || fail "Manufacturer is $(property "$msi" Manufacturer)"
[ "$(property "$msi" ProductCode)" = "$code" ] || fail "ProductCode is $(property "$msi" ProductCode), not $code"
[ "$(property "$msi" UpgradeCode)" = "{$PELLORIN_UPGRADE_CODE}" ] ||
  fail "UpgradeCode is $(property "$msi" UpgradeCode)"
[ "$(property "$msi" ALLUSERS)" = 1 ] || fail "the MSI is not per-machine (ALLUSERS)"
[ "$(property "$msi" ARPURLINFOABOUT)" = "$PELLORIN_WEB_ADDRESS" ] || fail "the uninstall entry's web address is wrong"
# The Upgrade table: older versions are found and removed, a newer one is only
# detected (and then refused by a launch condition).
upgrade="$(table "$msi" Upgrade | tail -n +4 | LC_ALL=C sort)"
expected_upgrade="$(printf '{%s}\t\t%s\t\t%s\t\t%s\n' "$PELLORIN_UPGRADE_CODE" "$version" 1 WIX_UPGRADE_DETECTED
                    printf '{%s}\t%s\t\t\t%s\t\t%s\n' "$PELLORIN_UPGRADE_CODE" "$version" 2 WIX_DOWNGRADE_DETECTED)"
[ "$upgrade" = "$(LC_ALL=C sort <<<"$expected_upgrade")" ] || fail "the Upgrade table holds:" "$upgrade"
table "$msi" LaunchCondition | grep -q '^NOT WIX_DOWNGRADE_DETECTED'$'\t' ||
  fail "no launch condition refuses a downgrade"
table "$msi" InstallExecuteSequence | grep -q '^RemoveExistingProducts'$'\t' ||
  fail "the MSI does not remove the version it upgrades"
# The 32-bit Program Files: "Program Files (x86)" on 64-bit Windows.
table "$msi" Directory | grep -q $'^INSTALLDIR\tProgramFilesFolder\tPellorin$' ||
  fail "the MSI does not install into Program Files\\Pellorin"
table "$msi" Shortcut | grep -q $'\tProgramMenuFolder\tPellorin\t' ||
  fail "no Start-menu shortcut named Pellorin"
# An MSI that sets up a service, a driver or a custom action needs more review
# than administrators expect of this one.
for table in CustomAction ServiceInstall; do
  [ "$(table "$msi" "$table" | tail -n +4)" = "" ] || fail "the MSI holds a $table"
done
echo "MSI tables right; the same bytes from another folder"

# --- Under Wine ---
prefix="$work/prefix"
if [ -f "$binary/wineprefix/.pellorin-ready" ] && [ -f "$binary/wineprefix/.pellorin-fonts-1" ]; then
  cp -a "$binary/wineprefix" "$prefix"
else
  pellorin_ensure_prefix "$prefix"
fi
pellorin_wine_env "$prefix"
# A display of its own: a window found there is this test's Pellorin.
pellorin_ensure_xvfb "$work/xvfb"
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  pellorin_stop_xvfb "$work/xvfb"
}
trap cleanup EXIT

# Output through files: Wine's own processes hold a pipe open until the prefix is idle.
run() {
  timeout --kill-after=10 120 wine "$@" >"$work/out" 2>"$work/err"
}
windows_path() { local path="$1"; echo "Z:${path//\//\\}"; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entries() {
  run reg query "$uninstall_key" || true
  tr -d '\r' <"$work/out" | grep -o '{[0-9A-F-]*}$' | LC_ALL=C sort || true
}
display_version() {
  run reg query "$uninstall_key\\$1" /v DisplayVersion || return 0
  tr -d '\r' <"$work/out" | awk '$1 == "DisplayVersion" { print $3 }'
}
installed="$prefix/drive_c/Program Files/Pellorin"
user_dir="$prefix/drive_c/users/$(id -un)"
# Windows puts the shortcut of a per-machine MSI in the all-users Programs
# folder. Wine 8's msi takes the installing user's ("FIXME: set to AllUsers
# profile path if ALLUSERS is set"), so under Wine either counts.
shortcuts() {
  find "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" \
       "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" -name 'Pellorin.lnk' 2>/dev/null || true
}

# The user's own settings and token cache, which an uninstall must keep.
run reg add 'HKCU\Software\Pellorin\Microsoft365' /v TenantId /d contoso.example /f || fail "reg add failed"
token="$user_dir/AppData/Local/Pellorin/microsoft365.token"
mkdir -p "$(dirname "$token")"
echo "not a real token" >"$token"

start=$SECONDS
run msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i $msi failed ($?)" "$(cat "$work/err")"
echo "Installed $version in $((SECONDS - start)) s"
for name in Pellorin.exe PellorinSync.exe README.txt LICENSE; do
  cmp -s "$files/$name" "$installed/$name" || fail "$name is not installed in $installed"
done
[ "$(shortcuts | wc -l)" = 1 ] || fail "no Start-menu shortcut Pellorin.lnk (or more than one):" "$(shortcuts)"
[ "$(entries)" = "$code" ] || fail "the uninstall entries are" "$(entries)" "instead of $code alone"
[ "$(display_version "$code")" = "$version" ] || fail "the uninstall entry's DisplayVersion is $(display_version "$code")"

run 'C:\Program Files\Pellorin\PellorinSync.exe' --version || fail "the installed PellorinSync --version failed"
grep -qF "$version" "$work/out" || fail "the installed PellorinSync --version says:" "$(cat "$work/out")"

wine 'C:\Program Files\Pellorin\Pellorin.exe' >"$work/window.out" 2>&1 &
window=""
for _ in $(seq 1 100); do
  window="$(xdotool search --onlyvisible --name Pellorin 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || fail "the installed Pellorin.exe shows no window"
timeout 30 wineserver -k || true
wait || true
echo "The installed programs start"

start=$SECONDS
run msiexec /i "$(windows_path "$next_msi")" /qn || fail "msiexec /i $next_msi failed" "$(cat "$work/err")"
echo "Upgraded to $next in $((SECONDS - start)) s"
cmp -s "$next_files/README.txt" "$installed/README.txt" || fail "the upgrade left the old README.txt"
[ "$(entries)" = "$next_code" ] || fail "after the upgrade the uninstall entries are" "$(entries)"
[ "$(display_version "$next_code")" = "$next" ] || fail "after the upgrade DisplayVersion is $(display_version "$next_code")"
[ "$(shortcuts | wc -l)" = 1 ] || fail "after the upgrade the shortcuts are:" "$(shortcuts)"

if run msiexec /i "$(windows_path "$msi")" /qn; then
  fail "$version installed over $next"
fi
[ "$(entries)" = "$next_code" ] || fail "after the refused downgrade the uninstall entries are" "$(entries)"
cmp -s "$next_files/README.txt" "$installed/README.txt" || fail "the refused downgrade changed README.txt"

start=$SECONDS
run msiexec /x "$next_code" /qn || fail "msiexec /x $next_code failed" "$(cat "$work/err")"
echo "Uninstalled in $((SECONDS - start)) s"
[ ! -e "$installed" ] || fail "the uninstall left $installed:" "$(ls -A "$installed")"
[ -z "$(shortcuts)" ] || fail "the uninstall left the shortcut" "$(shortcuts)"
[ -z "$(entries)" ] || fail "the uninstall left the entries" "$(entries)"
run reg query 'HKCU\Software\Pellorin\Microsoft365' /v TenantId || fail "the uninstall removed the user's settings"
grep -q contoso.example "$work/out" || fail "the uninstall changed the user's TenantId"
[ -f "$token" ] || fail "the uninstall removed the token cache $token"

cleanup
trap - EXIT
rm -rf "$work"
echo "MSI $version: installs, starts, upgrades to $next, refuses a downgrade, uninstalls cleanly"
