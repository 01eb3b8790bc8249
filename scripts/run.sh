#!/bin/bash
# Builds the two programs and the Outlook stand-in, and runs Pellorin under
# Wine against a demo: the Outlook stand-in plays Outlook 2010 with a profile of
# three stores, and the registry holds an Outlook 2003 master list that overlaps
# their lists. Everything lives in a Wine prefix of its own, build/demo-prefix,
# so no real Office setting is ever touched.
#
# With a display ($DISPLAY) the window opens there and the command ends when it
# is closed. Without one, Pellorin runs under Xvfb; the command saves a
# screenshot, says where it is, and closes Pellorin again (scripts/screenshot.sh
# makes the README's picture that way).
#
# PELLORIN_DEMO_MICROSOFT365=1 adds a Microsoft 365 mailbox, signed in, that the
# Graph stand-in serves on this computer; PELLORIN_DEMO_MICROSOFT365=signed-out
# leaves the sign-in to do. Unset, Microsoft 365 plays no part.
#
#   bash scripts/run.sh sync ARGS...
# runs PellorinSync.exe ARGS against the same demo instead, and passes its output
# and exit code through. Each run starts from the demo's state again.
#
# The tests and benchmarks are left for the commands that run them
# (scripts/test.sh, or cmake --build --preset mingw-i686), so that a newcomer
# sees the window after a couple of minutes rather than a quarter of an hour.
set -euo pipefail
source "$(dirname "$0")/common.sh"

mode=window
if [ "${1:-}" = sync ]; then
  mode=sync
  shift
  # Standard output is PellorinSync's alone, for scripts that read it; what
  # comes before it goes to standard error.
  exec 3>&1 1>&2
fi

pellorin_ensure_packages
cd "$PELLORIN_ROOT"

build="$PELLORIN_ROOT/build"
prefix="$build/demo-prefix"
data="$build/demo-data"
screenshot="$build/demo-screenshot.png"
# Before anything that may end the script: the clean-up stops this prefix's Wine alone.
pellorin_wine_env "$prefix"

headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  pellorin_ensure_xvfb "$build/demo-xvfb"
fi

graph_pid=""
prefix_job=""
cleanup() {
  # A prefix half made would be taken for a whole one by the next run.
  if [ -n "$prefix_job" ]; then
    wait "$prefix_job" 2>/dev/null || true
  fi
  if [ -n "$graph_pid" ]; then
    kill "$graph_pid" 2>/dev/null || true
    wait "$graph_pid" 2>/dev/null || true
  fi
  if [ $headless -eq 1 ]; then
    timeout 30 wineserver -k 2>/dev/null || true
    pellorin_stop_xvfb "$build/demo-xvfb"
  fi
}
trap cleanup EXIT

# Wine makes a new prefix in about half a minute of its own, mostly waiting:
# it does that while the compiler works.
pellorin_ensure_prefix "$prefix" &
prefix_job=$!

targets=(PellorinSync OutlookStandIn)
what="PellorinSync.exe and the Outlook stand-in"
if [ "$mode" = window ]; then
  targets=(Pellorin "${targets[@]}")
  what="Pellorin.exe, $what"
fi
echo "Building $what: about 2 minutes the first time on an idle 2-core machine, seconds after that."
cmake --preset mingw-i686 >/dev/null
if [ "$mode" = sync ]; then
  cmake --build --preset mingw-i686 --target "${targets[@]}" >/dev/null
else
  cmake --build --preset mingw-i686 --target "${targets[@]}"
fi
wait "$prefix_job"

# Outlook 2010, as the stand-in plays it, with a profile of three stores: the
# mailbox (the default store), an archive data file and a shared mailbox, each
# with its own list, and names in several scripts.
mkdir -p "$data"
cat >"$data/state.txt" <<'EOF'
version=14.0.7015.1000
default-store=jane.doe@example.com
name=Business
name=Holiday
name=Café
name=Geschäftlich
name=Προσωπικά
name=Важное
store=Archive 2019
name=Business
name=Old projects
name=Holiday
store=Team Mailbox
name=Business
name=Key Customer
name=Team meeting
EOF
rm -f "$data/requests.log"
data_dos="$(timeout 60 winepath -w "$data")"
standin_dos="$(timeout 60 winepath -w "$build/standins/outlook/OutlookStandIn.exe")"
timeout 60 wine "$standin_dos" /register Outlook.Application /data "$data_dos" >/dev/null

# Outlook 2003's master list: REG_BINARY, UTF-16 low byte first, each name
# followed by ";". Business and Holiday are on both sides.
master_list='Business;Holiday;Key Customer;Ideas;Straße;'
hex="$(printf '%s' "$master_list" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n')"
timeout 60 wine reg add 'HKCU\Software\Microsoft\Office\11.0\Outlook\Categories' \
  /v MasterList /t REG_BINARY /d "$hex" /f >/dev/null
timeout 60 wine reg delete 'HKCU\Software\Microsoft\Office\14.0' /f >/dev/null 2>&1 || true

exe_dos="$(timeout 60 winepath -w "$build/app/Pellorin.exe")"
sync_dos="$(timeout 60 winepath -w "$build/cli/PellorinSync.exe")"

# Microsoft 365 as an earlier run may have left it: gone, unless asked for again.
timeout 60 wine reg delete 'HKCU\Software\Pellorin' /f >/dev/null 2>&1 || true
rm -f "$prefix"/drive_c/users/*/AppData/Local/Pellorin/microsoft365.token
if [ -n "${PELLORIN_DEMO_MICROSOFT365:-}" ]; then
  rm -f "$data/graph-port"
  python3 "$PELLORIN_ROOT/standins/graph/graph_standin.py" --port-file "$data/graph-port" --exit-with $$ \
    </dev/null >"$data/graph.log" 2>&1 &
  graph_pid=$!
  for _ in $(seq 1 200); do
    [ -s "$data/graph-port" ] && break
    sleep 0.05
  done
  graph="http://127.0.0.1:$(tr -d '[:space:]' <"$data/graph-port")"
  graph_control() {
    python3 -c 'import sys, urllib.request
urllib.request.urlopen(urllib.request.Request(sys.argv[1], sys.argv[2].encode(), {"Content-Type": "application/json"}))' \
      "$graph/_control/$1" "$2"
  }
  oid="6d1c0f3e-0000-4000-8000-0000000de300"
  graph_control user '{"oid": "'"$oid"'", "upn": "jane.doe@example.com", "categories": [
    {"displayName": "Business", "color": "preset0"}, {"displayName": "Client calls", "color": "preset4"},
    {"displayName": "Holiday", "color": "preset7"}, {"displayName": "Travel", "color": "preset19"}]}'
  graph_control settings '{"interval": 1, "sign_in_user": "'"$oid"'", "poll_script": ["approve"]}'
  timeout 60 wine reg add 'HKCU\Software\Pellorin\Microsoft365' /v TenantId /d example.com /f >/dev/null
  timeout 60 wine reg add 'HKCU\Software\Pellorin\Microsoft365' /v ClientId \
    /d 00000000-0000-0000-0000-00000000de30 /f >/dev/null
  export PELLORIN_LOGIN_URL="$graph" PELLORIN_GRAPH_URL="$graph"
  if [ "$PELLORIN_DEMO_MICROSOFT365" != signed-out ]; then
    pellorin_through_files timeout 120 wine "$sync_dos" signin >/dev/null
  fi
fi

if [ "$mode" = sync ]; then
  status=0
  pellorin_through_files timeout --kill-after=10 "${PELLORIN_WINE_TIMEOUT:-600}" wine "$sync_dos" "$@" >&3 ||
    status=$?
  exit "$status"
fi

if [ $headless -eq 0 ]; then
  echo "Starting Pellorin on $DISPLAY (close its window to end)."
  timeout --kill-after=10 "${PELLORIN_RUN_TIMEOUT:-14400}" wine "$exe_dos" || true
  exit 0
fi

timeout --kill-after=10 300 wine "$exe_dos" &
pellorin_pid=$!
window=""
for _ in $(seq 1 600); do
  window="$(xdotool search --onlyvisible --name '^Pellorin$' 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  kill -0 "$pellorin_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "Pellorin's window did not appear." >&2
  exit 1
fi
sleep 1
import -window root "$screenshot"
# The window alone, for scripts/screenshot.sh: Xvfb's patterned screen around it
# would not trim away.
import -window "$window" "$build/demo-window.png"
echo "Pellorin ran headless under Xvfb; screenshot: $screenshot"

# Alt+F4 closes the main window as a user would; Pellorin then ends with code 0.
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4 2>/dev/null || true
for _ in $(seq 1 100); do
  kill -0 "$pellorin_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pellorin_pid" 2>/dev/null; then
  timeout 30 wineserver -k 2>/dev/null || true
fi
wait "$pellorin_pid" 2>/dev/null || true
