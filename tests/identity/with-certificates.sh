#!/bin/bash
# Runs a test program under Wine with the build tree's throwaway certificates
# and a Graph stand-in beside it.
# Usage: with-certificates.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"; shift
certs="$build/tests/identity/certificates"
(
  flock 9
  bash "$here/make-certificates.sh" "$certs"
) 9>"$build/tests/identity/certificates.lock"
# Wine's Z: drive is the Unix root.
export PELLORIN_TEST_CERTIFICATES="Z:${certs//\//\\}"
exec bash "$here/../../standins/graph/with-graph-standin.sh" "$build" "$@"
