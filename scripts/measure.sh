#!/usr/bin/env bash
# Measures a built Varnow.exe under Wine: how soon a job reaches LPT1 once its
# producer lets go of it, and what searching a crowded folder costs while idle.
# Prints a Markdown table.
#
# Usage: measure.sh BUILD_DIR   (an i686 tree with Varnow.exe built in it)
#
# The session is the build tree's own: its Wine prefix, a private Xvfb, a
# persistent wineserver and LPT1 behind the printer pump, so the capture grows
# as the bytes arrive.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
VARNOW_BUILD_DIR=$(cd "${1:?usage: measure.sh BUILD_DIR}" && pwd)
exe=$VARNOW_BUILD_DIR/Varnow.exe
[ -f "$exe" ] || { echo "measure.sh: no Varnow.exe in $VARNOW_BUILD_DIR" >&2; exit 1; }
export VARNOW_BUILD_DIR
source "$scripts/wine-env.sh"

work=$VARNOW_BUILD_DIR/measure
jobs_dir=$work/jobs
idle_dir=$work/idle
empty_dir=$work/empty
IDLE_FILES=10000
SETTLE_S=5
WINDOW_S=60

varnow_pid=""
stop_varnow() {
  [ -n "$varnow_pid" ] || return 0
  kill "$varnow_pid" 2>/dev/null || true
  local i
  for i in $(seq 50); do kill -0 "$varnow_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$varnow_pid" 2>/dev/null || true
  varnow_pid=""
}
finish() {
  stop_varnow
  wine_session_stop
}
trap finish EXIT

# Other runs may have Varnow.exe or a wineserver going under their own prefixes;
# only the processes of this prefix count.
in_this_prefix() {
  tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"
}
prefix_pid() {
  local pid
  for pid in $(pgrep -f "$1" || true); do
    in_this_prefix "$pid" && { echo "$pid"; return 0; }
  done
  return 1
}

# The search folder is the current directory when the section stores none, so
# each start begins with its section removed.
start_varnow() {
  local folder=$1 section=$2 i
  wine reg delete "HKCU\\Software\\Brenholt\\Varnow\\$section" /f >>"$VARNOW_WINE_LOG" 2>&1 || true
  (cd "$folder" && exec wine "$exe" "$section" >>"$VARNOW_WINE_LOG" 2>&1 </dev/null) &
  for i in $(seq 100); do
    varnow_pid=$(prefix_pid "Varnow.exe $section") && break
    sleep 0.1
  done
  [ -n "$varnow_pid" ] || { echo "measure.sh: Varnow.exe did not start" >&2; exit 1; }
  # The window opens and searches for the first time 2 s later.
  sleep 3
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

rm -rf "$work"
mkdir -p "$jobs_dir" "$idle_dir" "$empty_dir"
(cd "$idle_dir" && seq -f 'F%05g.TXT' 1 "$IDLE_FILES" | xargs touch)

load_before=$(load)
wine_display_start
wine_prefix_ensure
wine_server_start
wine_lpt_pump 1
server_pid=$(prefix_pid wineserver) || { echo "measure.sh: no wineserver" >&2; exit 1; }

echo "measure.sh: latency, 20 jobs with a companion" >&2
start_varnow "$jobs_dir" MEASURE_JOBS
result=$(python3 "$scripts/measure-relay.py" latency \
  "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$varnow_pid" 20 companion)
read -r comp_median comp_max comp_min <<<"$result"
echo "measure.sh: latency, 10 jobs without a companion" >&2
result=$(python3 "$scripts/measure-relay.py" latency \
  "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$varnow_pid" 10 plain)
read -r plain_median plain_max plain_min <<<"$result"
stop_varnow

echo "measure.sh: ${WINDOW_S} s searching $IDLE_FILES files" >&2
start_varnow "$idle_dir" MEASURE_IDLE
result=$(python3 "$scripts/measure-relay.py" cpu \
  "$varnow_pid" "$server_pid" "$SETTLE_S" "$WINDOW_S")
read -r idle_varnow idle_server idle_window <<<"$result"
stop_varnow

echo "measure.sh: ${WINDOW_S} s searching an empty folder" >&2
start_varnow "$empty_dir" MEASURE_EMPTY
result=$(python3 "$scripts/measure-relay.py" cpu \
  "$varnow_pid" "$server_pid" "$SETTLE_S" "$WINDOW_S")
read -r empty_varnow empty_server empty_window <<<"$result"
stop_varnow
load_after=$(load)

cat <<TABLE
| Measurement | Result |
|---|---|
| Companion removed → last byte at LPT1, 20 jobs of 4 KiB | median $comp_median ms, max $comp_max ms (min $comp_min ms) |
| Job dropped without companion → last byte at LPT1, 10 jobs | median $plain_median ms, max $plain_max ms (min $plain_min ms) |
| CPU in ${idle_window} s searching $IDLE_FILES non-matching files: Varnow.exe | $idle_varnow ms |
| the same window: wineserver | $idle_server ms |
| CPU in ${empty_window} s searching an empty folder: Varnow.exe / wineserver | $empty_varnow ms / $empty_server ms |

Load average (1, 5, 15 min) before: $load_before; after: $load_after.
TABLE
