#!/bin/bash
# Runs one Windows program under Wine with the Graph stand-in beside it: starts
# the stand-in, gives the program its address in PELLORIN_TEST_GRAPH_STANDIN,
# and stops it again on every way out. The program's output and exit code pass
# through. Usage: with-graph-standin.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

python3 "$here/graph_standin.py" --port-file "$work/port" --exit-with $$ </dev/null >"$work/log" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  [ -s "$work/port" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "The Graph stand-in ended at its start:" >&2
    cat "$work/log" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -s "$work/port" ]; then
  echo "The Graph stand-in did not start within 10 seconds." >&2
  exit 1
fi
export PELLORIN_TEST_GRAPH_STANDIN="http://127.0.0.1:$(tr -d '[:space:]' <"$work/port")"
status=0
"$root/scripts/wine-run.sh" "$@" || status=$?
exit "$status"
