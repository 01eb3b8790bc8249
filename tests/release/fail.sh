# The release checks' one way to stop: the reason, the details, and where the
# work was left for a look. Sourced after $work is set.
fail() {
  echo "FAILED: $1" >&2
  shift
  if [ $# -gt 0 ]; then printf '%s\n' "$@" >&2; fi
  echo "Left for a look: $work" >&2
  exit 1
}
