# Shared by the README commands and the Wine test runner. Source it; don't run it.

PELLORIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian 12 packages the build, the tests and the demo need (the release check
# signs a release with a throwaway certificate).
PELLORIN_PACKAGES=(cmake make g++-mingw-w64-i686 googletest wine wine32:i386 wine64 fonts-wine xvfb
                   imagemagick xdotool procps util-linux osslsigncode openssl
                   nlohmann-json3-dev python3 ccache msitools wixl)
# The part that building alone needs (the release).
PELLORIN_BUILD_PACKAGES=(cmake make g++-mingw-w64-i686 nlohmann-json3-dev)

# Where fonts-wine puts Wine's own fonts (MS Sans Serif, Marlett, Tahoma...). Debian's
# Wine 8 never reads this folder, so each prefix gets a copy in C:\windows\Fonts.
PELLORIN_WINE_FONTS=/usr/share/wine/fonts

pellorin_missing_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]}"
}

# Installs what is missing (of the packages named, or else of all) when we are
# root; otherwise says what to run and fails.
pellorin_ensure_packages() {
  local missing
  if [ $# -eq 0 ]; then set -- "${PELLORIN_PACKAGES[@]}"; fi
  missing="$(pellorin_missing_packages "$@")"
  [ -z "$missing" ] && return 0
  local need_i386=0
  case " $missing" in
    *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1 ;;
  esac
  if [ "$(id -u)" -ne 0 ]; then
    echo "Pellorin needs these Debian packages: $missing" >&2
    echo "Install them as root with:" >&2
    [ $need_i386 -eq 1 ] && echo "  sudo dpkg --add-architecture i386" >&2
    echo "  sudo apt-get update && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y $missing" >&2
    return 1
  fi
  echo "Installing: $missing"
  [ $need_i386 -eq 1 ] && dpkg --add-architecture i386
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

pellorin_wine_env() {
  export WINEPREFIX="$1"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Creates the Wine prefix once. Flags set: no window-manager wait when windows hide,
# and no crash dialog that would block a test.
pellorin_ensure_prefix() {
  local prefix="$1"
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.pellorin-ready" ]; then
      rm -rf "$prefix"
      pellorin_wine_env "$prefix"
      timeout 300 wineboot -i >/dev/null 2>&1 || true
      timeout 120 wineserver -w || true
      timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      timeout 120 wineserver -w || true
      touch "$prefix/.pellorin-ready"
    fi
    # Its own marker, so that a prefix made before this step gets the fonts too.
    if [ ! -f "$prefix/.pellorin-fonts-1" ]; then
      pellorin_copy_wine_fonts "$prefix" || exit 1
      touch "$prefix/.pellorin-fonts-1"
    fi
  ) 9>"$prefix.lock"
}

# Without Wine's own fonts, Wine draws "MS Sans Serif" with a wider Linux face and
# the title bar's buttons without Marlett. Wine takes the bitmap "MS Sans Serif" for
# the screen's DPI (sserife.fon, or sseriff.fon above 96) from C:\windows\Fonts only.
pellorin_copy_wine_fonts() {
  local fonts="$1/drive_c/windows/Fonts"
  if [ ! -f "$PELLORIN_WINE_FONTS/sserife.fon" ] || [ ! -f "$PELLORIN_WINE_FONTS/marlett.ttf" ]; then
    echo "Wine's own fonts are missing from $PELLORIN_WINE_FONTS (Debian package fonts-wine)." >&2
    return 1
  fi
  mkdir -p "$fonts"
  cp -p "$PELLORIN_WINE_FONTS"/*.fon "$PELLORIN_WINE_FONTS"/*.ttf "$fonts/"
}

# Starts one Xvfb per build tree (COM between processes needs a display under Wine)
# and exports DISPLAY for it.
pellorin_ensure_xvfb() {
  local dir="$1"
  mkdir -p "$dir"
  (
    flock 9
    local pid
    pid="$(cat "$dir/xvfb.pid" 2>/dev/null || true)"
    if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then
      rm -f "$dir/xvfb.display"
      Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp 8>"$dir/xvfb.display" \
        9>&- >/dev/null 2>&1 </dev/null &
      echo $! >"$dir/xvfb.pid"
      local i
      for i in $(seq 1 100); do
        [ -s "$dir/xvfb.display" ] && break
        sleep 0.1
      done
    fi
  ) 9>"$dir/xvfb.lock"
  export DISPLAY=":$(tr -d '[:space:]' <"$dir/xvfb.display")"
}

pellorin_stop_xvfb() {
  local dir="$1" pid
  pid="$(cat "$dir/xvfb.pid" 2>/dev/null || true)"
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -f "$dir/xvfb.pid" "$dir/xvfb.display"
}

# Runs a command (a wine call) and passes its output and exit code through. The
# first program of a prefix starts Wine's own processes (the server, services,
# explorer), which inherit its output and hold it open until the prefix is idle:
# a reader waiting for the end of the output, as CTest or a pipe does, would
# wait for them too. So the output goes through files, copied out at the end.
pellorin_through_files() {
  local out err status=0
  out="$(mktemp)"
  err="$(mktemp)"
  "$@" >"$out" 2>"$err" || status=$?
  cat "$out"
  cat "$err" >&2
  rm -f "$out" "$err"
  return "$status"
}
