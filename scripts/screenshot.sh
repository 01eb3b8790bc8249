#!/bin/bash
# Makes docs/pellorin.png, the README's picture of the window, from the demo of
# scripts/run.sh, run headless so that the picture does not depend on the
# desktop it was made on. Run it after a change that shows in the window, and
# commit the picture with that change.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$PELLORIN_ROOT"

shot="$PELLORIN_ROOT/build/demo-window.png"
rm -f "$shot"
env -u DISPLAY bash scripts/run.sh
[ -s "$shot" ] || { echo "The demo saved no screenshot." >&2; exit 1; }
# No time stamps, so that the same window gives the same file.
convert "$shot" -strip -define png:exclude-chunks=date,time docs/pellorin.png
echo "docs/pellorin.png: $(identify -format '%wx%h' docs/pellorin.png)"
