# Sourced by every script that runs Windows programs of this project under Wine.
#
# Environment it sets up (the build tree is $VARNOW_BUILD_DIR, or else the tree
# around $VARNOW_BUILD_HINT or the current directory):
#   WINEPREFIX            $VARNOW_BUILD_DIR/wine-prefix, never ~/.wine
#   WINEDEBUG, WINEDLLOVERRIDES, TZ, LANG (ja_JP.UTF-8: code page 932), LC_ALL unset
#   VARNOW_LPT1_CAPTURE   where LPT1 writes to; Windows programs see it too
#                         (VARNOW_LPT<n>_CAPTURE for a further pumped port)
#
# Functions:
#   wine_prefix_ensure        create the prefix with Japanese fonts, once
#   wine_display_start        one Xvfb on a free display; exports DISPLAY
#   wine_server_start         a persistent wineserver, booted prefix
#   wine_lpt1_capture [path]  point LPT1 at path (default $VARNOW_WINE_IO/lpt1)
#   wine_lpt_pump [n]         point LPT<n> (default 1) at a FIFO whose reader
#                             appends to its capture
#   wine_session_start        all of the above
#   wine_session_stop         stop the server and the display started here

# The build tree holds CMakeCache.txt; look upwards from the given folder.
wine_find_build_dir() {
  local dir
  dir=$(cd "${1:-.}" 2>/dev/null && pwd -P) || return 1
  while [ "$dir" != / ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then echo "$dir"; return 0; fi
    dir=$(dirname "$dir")
  done
  return 1
}

if [ -z "${VARNOW_BUILD_DIR:-}" ]; then
  VARNOW_BUILD_DIR=$(wine_find_build_dir "${VARNOW_BUILD_HINT:-.}") || {
    echo "wine-env.sh: set VARNOW_BUILD_DIR or run inside a build tree" >&2
    return 1
  }
fi
export VARNOW_BUILD_DIR
# Sessions that run side by side in one tree (the soak beside the tests) each
# name themselves in VARNOW_WINE_SESSION and get a prefix and files of their own.
VARNOW_WINE_IO="$VARNOW_BUILD_DIR/wine-io${VARNOW_WINE_SESSION:+-$VARNOW_WINE_SESSION}"
export WINEPREFIX="$VARNOW_BUILD_DIR/wine-prefix${VARNOW_WINE_SESSION:+-$VARNOW_WINE_SESSION}"
VARNOW_WINE_LOG="$VARNOW_WINE_IO/wine.log"
mkdir -p "$VARNOW_WINE_IO"

source "$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh"

# The prefix's architecture follows the build tree, whatever the caller's
# environment says: a prefix made for another one fails every later step.
# A 32-bit tree keeps Wine's default, a 64-bit one a 64-bit prefix.
if grep -q '^CMAKE_SYSTEM_PROCESSOR:.*=x86_64$' "$VARNOW_BUILD_DIR/CMakeCache.txt" 2>/dev/null ||
   ! wine_runs_32bit; then
  export WINEARCH=win64
else
  unset WINEARCH
fi
# Debian's wine script takes the 32-bit loader whenever it is installed, also
# where it cannot run: the 64-bit loader then stands in, through a "wine" early
# on PATH so that child scripts and "exec wine" find it too (winepath and the
# other tools start "wine-stable").
VARNOW_WINE_NOTE=""
if ! wine_runs_32bit; then
  mkdir -p "$VARNOW_WINE_IO/bin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$VARNOW_WINE_IO/bin/wine"
  chmod +x "$VARNOW_WINE_IO/bin/wine"
  ln -sf wine "$VARNOW_WINE_IO/bin/wine-stable"
  export WINELOADER=/usr/lib/wine/wine64
  VARNOW_WINE_NOTE="this machine cannot run 32-bit programs: Wine runs 64-bit ones only"
  case ":$PATH:" in
    *":$VARNOW_WINE_IO/bin:"*) ;;
    *) export PATH="$VARNOW_WINE_IO/bin:$PATH" ;;
  esac
fi
export WINEDEBUG=-all
# Without this wineboot stops at the Mono/Gecko installer dialog.
export WINEDLLOVERRIDES="mscoree,mshtml="
export TZ=UTC
export LANG=ja_JP.UTF-8
unset LC_ALL
export VARNOW_LPT1_CAPTURE="${VARNOW_LPT1_CAPTURE:-$VARNOW_WINE_IO/lpt1}"

# Says which step failed, with the end of the log that holds Wine's output.
wine_step_failed() {
  echo "wine-env: $1 failed (prefix $WINEPREFIX)" >&2
  [ -n "$VARNOW_WINE_NOTE" ] && echo "wine-env: $VARNOW_WINE_NOTE" >&2
  tail -n 5 "$VARNOW_WINE_LOG" 2>/dev/null | sed 's/^/  wine.log: /' >&2
  return 1
}

# Dialog fonts map to IPA P Gothic, or Japanese captions draw as boxes. regedit
# reads REGEDIT4 files in the ANSI code page, hence CP932.
wine_fonts_install() {
  local reg="$VARNOW_WINE_IO/fonts.reg"
  iconv -f UTF-8 -t CP932 >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
"Tahoma"="IPAPGothic"
REG
  wine regedit "$reg" >>"$VARNOW_WINE_LOG" 2>&1
}

# The stamp is written last, so an interrupted creation is done again. The lock
# keeps two runs from creating the same prefix at once.
wine_prefix_ensure() {
  local stamp="$WINEPREFIX/.varnow-ready"
  [ -f "$stamp" ] && return 0
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$stamp" ] && exit 0
    local started=$SECONDS
    wine wineboot -i >>"$VARNOW_WINE_LOG" 2>&1 </dev/null ||
      { wine_step_failed "creating the prefix (wineboot -i)"; exit 1; }
    wine_fonts_install || { wine_step_failed "setting the Japanese fonts (regedit)"; exit 1; }
    # Nothing started here may outlive the creation: a desktop process left
    # from it would serve every later program of the session, with or without
    # the display that session has.
    wineserver -k >>"$VARNOW_WINE_LOG" 2>&1 || true
    touch "$stamp"
    echo "wine-env: prefix created in $((SECONDS - started)) s" >&2
  ) 9>"$VARNOW_WINE_IO/prefix.lock"
}

# Xvfb picks a free display itself and reports it once it accepts clients, so
# runs that start side by side never take the same display.
wine_display_start() {
  local report="$VARNOW_WINE_IO/display"
  rm -f "$report"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$report" \
    >>"$VARNOW_WINE_LOG" 2>&1 </dev/null &
  VARNOW_XVFB_PID=$!
  local i n
  for i in $(seq 100); do
    # Xvfb's shell may not have made the report yet: not an error, even under set -e.
    n=$({ tr -dc 0-9 <"$report"; } 2>/dev/null || true)
    if [ -n "$n" ] && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$VARNOW_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine-env: Xvfb did not start" >&2
  return 1
}

# Wine's background processes keep the output they were started with, so they
# are started here, with output to the log, before any test runs: then nothing
# lingering holds the pipes CTest reads.
wine_server_start() {
  wineserver -p >>"$VARNOW_WINE_LOG" 2>&1 </dev/null ||
    { wine_step_failed "starting the wineserver"; return 1; }
  wine wineboot >>"$VARNOW_WINE_LOG" 2>&1 </dev/null || wine_step_failed "booting the prefix"
}

# A plain file (or a FIFO the caller made) receives what programs write to LPT1.
wine_lpt1_capture() {
  local target="${1:-$VARNOW_LPT1_CAPTURE}"
  mkdir -p "$(dirname "$target")" "$WINEPREFIX/dosdevices"
  [ -e "$target" ] || : >"$target"
  ln -sfn "$target" "$WINEPREFIX/dosdevices/lpt1"
  export VARNOW_LPT1_CAPTURE="$target"
}

# A FIFO with a reader that plays the printer on port LPT<n> (default 1,
# scripts/lpt-pump.py): the capture gathers every job in order, and the
# capture's ".stall" file stops the reader so that writes block like on a
# printer gone off line. Exports VARNOW_LPT<n>_CAPTURE.
wine_lpt_pump() {
  local n=${1:-1}
  local fifo="$VARNOW_WINE_IO/lpt$n.fifo"
  local capture="$VARNOW_WINE_IO/lpt$n-capture"
  [ -p "$fifo" ] || { rm -f "$fifo"; mkfifo "$fifo"; }
  : >"$capture"
  rm -f "$capture.stall"
  python3 "$(dirname "${BASH_SOURCE[0]}")/lpt-pump.py" "$fifo" "$capture" \
    >>"$VARNOW_WINE_LOG" 2>&1 </dev/null &
  local pid=$!
  VARNOW_PUMP_PIDS="${VARNOW_PUMP_PIDS:-} $pid"
  # Bytes left in a FIFO that nobody holds open are lost when the port closes,
  # so no program may write before the reader has the FIFO open.
  local i
  for i in $(seq 100); do
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "$fifo" && break
    sleep 0.05
  done
  mkdir -p "$WINEPREFIX/dosdevices"
  ln -sfn "$fifo" "$WINEPREFIX/dosdevices/lpt$n"
  export "VARNOW_LPT${n}_CAPTURE=$capture"
}

wine_session_start() {
  [ -n "$VARNOW_WINE_NOTE" ] && echo "wine-env: $VARNOW_WINE_NOTE" >&2
  wine_display_start && wine_prefix_ensure && wine_server_start && wine_lpt1_capture "$@"
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  local pid
  for pid in ${VARNOW_PUMP_PIDS:-}; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  unset VARNOW_PUMP_PIDS
  if [ -n "${VARNOW_XVFB_PID:-}" ]; then
    kill "$VARNOW_XVFB_PID" 2>/dev/null || true
    wait "$VARNOW_XVFB_PID" 2>/dev/null || true
    unset VARNOW_XVFB_PID
  fi
}
