#!/usr/bin/env bash
# Measures a built Varnow.exe under Wine: how fast a backlog drains beside a
# bare relay loop on the same prefix and device, how soon a job reaches LPT1
# once it is there or its companion goes, and what a crowded folder costs
# while idle. Prints a Markdown table.
#
# Usage: measure.sh BUILD_DIR   (an i686 or x86_64 tree with Varnow.exe and
#                               bare_relay.exe built in it)
#
# The session is the build tree's own: its Wine prefix, a private Xvfb, a
# persistent wineserver and LPT1 behind the printer pump, so the capture grows
# as the bytes arrive.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
VARNOW_BUILD_DIR=$(cd "${1:?usage: measure.sh BUILD_DIR}" && pwd)
exe=$VARNOW_BUILD_DIR/Varnow.exe
bare=$VARNOW_BUILD_DIR/bare_relay.exe
for program in "$exe" "$bare"; do
  [ -f "$program" ] || { echo "measure.sh: no $(basename "$program") in $VARNOW_BUILD_DIR" >&2; exit 1; }
done
export VARNOW_BUILD_DIR
source "$scripts/wine-env.sh"

work=$VARNOW_BUILD_DIR/measure
jobs_dir=$work/jobs
idle_dir=$work/idle
empty_dir=$work/empty
IDLE_FILES=10000
BACKLOG_JOBS=100
BACKLOG_ROUNDS=3
LATENCY_JOBS=20
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
# each start begins with its section removed. A third argument "tray" starts
# the window hidden in the tray, as an unattended PC keeps it.
start_varnow() {
  local folder=$1 section=$2 i
  local key="HKCU\\Software\\Brenholt\\Varnow\\$section"
  wine reg delete "$key" /f >>"$VARNOW_WINE_LOG" 2>&1 || true
  if [ "${3:-}" = tray ]; then
    wine reg add "$key" /v Iconic /t REG_DWORD /d 1 /f >>"$VARNOW_WINE_LOG" 2>&1
  fi
  (cd "$folder" && exec wine "$exe" "$section" >>"$VARNOW_WINE_LOG" 2>&1 </dev/null) &
  # The window opens and searches for the first time 2 s later. Until then
  # the name may also match a starter process of Wine's that is soon gone,
  # so the process counts once the same one has matched twice.
  sleep 3
  local seen=""
  varnow_pid=""
  for i in $(seq 100); do
    seen=$(prefix_pid "Varnow.exe $section") || seen=""
    [ -n "$seen" ] && [ "$seen" = "$varnow_pid" ] && break
    varnow_pid=$seen
    sleep 0.2
  done
  [ -n "$seen" ] && [ "$seen" = "$varnow_pid" ] || { echo "measure.sh: Varnow.exe did not start" >&2; exit 1; }
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

# The bare loop runs in the jobs folder, as Varnow.exe does, and is waiting
# for the backlog before it is dropped. Prints the drop → last byte time, and
# the loop's own first job → last delete time to the log.
bare_backlog() {
  local round=$1 pid="" i elapsed
  (cd "$jobs_dir" && exec wine "$bare" . '*.GLF' LPT1 "$BACKLOG_JOBS" \
    >"$work/bare.out" 2>>"$VARNOW_WINE_LOG" </dev/null) &
  local wine_pid=$!
  for i in $(seq 100); do
    pid=$(prefix_pid "bare_relay.exe") && break
    sleep 0.1
  done
  [ -n "$pid" ] || { echo "measure.sh: bare_relay.exe did not start" >&2; exit 1; }
  sleep 1
  elapsed=$(python3 "$scripts/measure-relay.py" backlog \
    "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$BACKLOG_JOBS" "$round")
  wait "$wine_pid" || { echo "measure.sh: bare_relay.exe failed" >&2; exit 1; }
  echo "measure.sh: bare loop round $round: ${elapsed} ms to the device, $(cat "$work/bare.out") ms by its own clock" >&2
  echo "$elapsed"
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
rate() { awk -v n="$BACKLOG_JOBS" -v ms="$1" 'BEGIN { printf "%.1f", n * 1000 / (ms > 0 ? ms : 1) }'; }
percent() { awk -v ms="$1" -v s="$2" 'BEGIN { printf "%.3f", ms / (s * 10) }'; }

rm -rf "$work"
mkdir -p "$jobs_dir" "$idle_dir" "$empty_dir"
(cd "$idle_dir" && seq -f 'F%05g.TXT' 1 "$IDLE_FILES" | xargs touch)

load_before=$(load)
wine_display_start
wine_prefix_ensure
wine_server_start
wine_lpt_pump 1
server_pid=$(prefix_pid wineserver) || { echo "measure.sh: no wineserver" >&2; exit 1; }

start_varnow "$jobs_dir" MEASURE_JOBS
varnow_rounds=()
for round in $(seq "$BACKLOG_ROUNDS"); do
  echo "measure.sh: backlog of $BACKLOG_JOBS jobs through Varnow.exe, round $round" >&2
  varnow_rounds+=("$(python3 "$scripts/measure-relay.py" backlog \
    "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$BACKLOG_JOBS" "$round")")
  sleep 1
done
echo "measure.sh: latency, $LATENCY_JOBS jobs with a companion" >&2
result=$(python3 "$scripts/measure-relay.py" latency \
  "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$LATENCY_JOBS" companion)
read -r comp_median comp_max comp_min <<<"$result"
echo "measure.sh: latency, $LATENCY_JOBS jobs renamed into place" >&2
result=$(python3 "$scripts/measure-relay.py" latency \
  "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$LATENCY_JOBS" plain)
read -r plain_median plain_max plain_min <<<"$result"
stop_varnow

start_varnow "$jobs_dir" MEASURE_TRAY tray
tray_rounds=()
for round in $(seq "$BACKLOG_ROUNDS"); do
  echo "measure.sh: backlog of $BACKLOG_JOBS jobs through Varnow.exe in the tray, round $round" >&2
  tray_rounds+=("$(python3 "$scripts/measure-relay.py" backlog \
    "$jobs_dir" "$VARNOW_LPT1_CAPTURE" "$BACKLOG_JOBS" "$round")")
  sleep 1
done
stop_varnow

bare_rounds=()
for round in $(seq "$BACKLOG_ROUNDS"); do
  echo "measure.sh: backlog of $BACKLOG_JOBS jobs through the bare loop, round $round" >&2
  bare_rounds+=("$(bare_backlog "$round")")
done

echo "measure.sh: ${WINDOW_S} s searching $IDLE_FILES files" >&2
start_varnow "$idle_dir" MEASURE_IDLE
result=$(python3 "$scripts/measure-relay.py" cpu \
  "$varnow_pid" "$server_pid" "$SETTLE_S" "$WINDOW_S")
read -r idle_varnow idle_server idle_window idle_exact <<<"$result"
stop_varnow

echo "measure.sh: ${WINDOW_S} s searching an empty folder" >&2
start_varnow "$empty_dir" MEASURE_EMPTY
result=$(python3 "$scripts/measure-relay.py" cpu \
  "$varnow_pid" "$server_pid" "$SETTLE_S" "$WINDOW_S")
read -r empty_varnow empty_server empty_window empty_exact <<<"$result"
stop_varnow
load_after=$(load)

varnow_ms=$(median "${varnow_rounds[@]}")
bare_ms=$(median "${bare_rounds[@]}")
tray_ms=$(median "${tray_rounds[@]}")
varnow_rate=$(rate "$varnow_ms")
bare_rate=$(rate "$bare_ms")
tray_rate=$(rate "$tray_ms")
ratio() { awk -v a="$1" -v b="$bare_rate" 'BEGIN { printf "%.3f", a / b }'; }

cat <<TABLE
| Measurement | Result | Goal |
|---|---|---|
| Backlog of $BACKLOG_JOBS jobs of 2 KiB dropped at once → last byte at LPT1: \`Varnow.exe\` | $varnow_rate jobs/s ($varnow_ms ms; rounds: ${varnow_rounds[*]} ms) | |
| the same backlog through the bare loop | $bare_rate jobs/s ($bare_ms ms; rounds: ${bare_rounds[*]} ms) | |
| \`Varnow.exe\` / bare loop | $(ratio "$varnow_rate") | ≥ 0.1 |
| the same backlog, window hidden in the tray: \`Varnow.exe\` / bare loop | $tray_rate jobs/s ($tray_ms ms; rounds: ${tray_rounds[*]} ms): $(ratio "$tray_rate") | |
| Job renamed into place → last byte at LPT1, $LATENCY_JOBS jobs | median $plain_median ms, max $plain_max ms (min $plain_min ms) | median ≤ 100 ms, max ≤ 300 ms |
| Companion removed → last byte at LPT1, $LATENCY_JOBS jobs | median $comp_median ms, max $comp_max ms (min $comp_min ms) | median ≤ 100 ms |
| CPU in ${idle_window} s beside $IDLE_FILES non-matching files: \`Varnow.exe\` | $idle_varnow ms in ticks, $idle_exact ms on the CPU: $(percent "$idle_exact" "$idle_window") % of a core | ≤ 0.05 % |
| the same window: wineserver | $idle_server ms | |
| CPU in ${empty_window} s beside an empty folder: \`Varnow.exe\` / wineserver | $empty_varnow ms ($empty_exact ms on the CPU) / $empty_server ms | |

Medians of $BACKLOG_ROUNDS backlog rounds each. Load average (1, 5, 15 min) before: $load_before; after: $load_after.
TABLE
