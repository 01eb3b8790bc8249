#!/bin/bash
# The usage text is written once, in cli/usage.txt, and read in three more
# places: PellorinSync --help (built from the file), README.txt in the zip and
# docs/pellorinsync.md. Each of them must be the file, line for line.
# Usage: check_usage_copies.sh SOURCE_DIR BINARY_DIR PELLORINSYNC_EXE
set -euo pipefail
src="$1" binary="$2" exe="$3"
usage="$(cat "$src/cli/usage.txt")"
status=0

differs() {
  echo "$1 differs from cli/usage.txt (< the copy, > the file):" >&2
  diff <(echo "$2") <(echo "$usage") >&2 || true
  status=1
}

# README.txt indents its block by four spaces, from "Usage:" to the next line that is not.
# awk reads to the end: leaving early could cut tr off with SIGPIPE.
readme="$(tr -d '\r' <"$src/README.txt" | awk '
  $0 == "    Usage:" && !done { inside = 1 }
  inside && $0 != "" && substr($0, 1, 4) != "    " { inside = 0; done = 1 }
  inside { print substr($0, 5) }')"
[ "$readme" = "$usage" ] || differs README.txt "$readme"

# The docs quote it in the fenced block that starts with "Usage:".
docs="$(awk '
  inside && $0 == "```" { exit }
  inside { print }
  fence && $0 == "Usage:" { inside = 1; print }
  { fence = ($0 == "```") }' "$src/docs/pellorinsync.md")"
[ "$docs" = "$usage" ] || differs docs/pellorinsync.md "$docs"

# --help byte for byte: the same lines, each ending in CR LF, on standard output alone.
expected="$(mktemp)" got="$(mktemp)"
trap 'rm -f "$expected" "$got"' EXIT
sed 's/$/\r/' "$src/cli/usage.txt" >"$expected"
if ! bash "$src/scripts/wine-run.sh" "$binary" "$exe" --help >"$got" 2>/dev/null; then
  echo "PellorinSync --help did not end with exit code 0" >&2
  status=1
fi
if ! cmp -s "$got" "$expected"; then
  echo "PellorinSync --help differs from cli/usage.txt with CR LF line ends:" >&2
  diff <(cat -A "$got") <(cat -A "$expected") >&2 || true
  status=1
fi
exit "$status"
