#!/usr/bin/env bash
# Builds the Japanese user manual into one self-contained file: the pages of
# docs/manual with their style sheet inline and screenshots of the real
# Varnow.exe of a Windows build tree embedded as data URIs, so the pictures stay
# true when the windows change.
# Usage: build-manual.sh <windows-build-dir> <out-dir>   -> <out-dir>/Varnow.html
# With VARNOW_MANUAL_SHOTS=<dir> the pictures are also kept there as PNG files,
# with the day's record of the run, so that they can be looked at.
#
# The shots run in a Wine prefix of their own in the build tree (session
# "manual", so the tree's tests can run meanwhile) on a private Xvfb, under the
# section Varnow with a search folder C:\Varnow\jobs and a printer added for
# the output menu, with the program's clock standing at one moment, so that
# the pictures are the same whenever they are made; afterwards that section,
# its record folder (unless it was there before), the printer and C:\Varnow
# are removed and the LPT1 mapping is put back.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: build-manual.sh <windows-build-dir> <out-dir>}" && pwd -P)
out=${2:?usage: build-manual.sh <i686-build-dir> <out-dir>}
for exe in Varnow.exe WindowShot.exe; do
  [ -f "$build/$exe" ] || { echo "build-manual: no $exe in $build" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd -P)

export VARNOW_BUILD_DIR=$build
export VARNOW_WINE_SESSION=manual
source "$root/scripts/wine-env.sh"
section=Varnow
desktop=Varnow
width=1024
height=768
drive_c=$WINEPREFIX/drive_c
lpt1_link=$WINEPREFIX/dosdevices/lpt1
lpt1_before=""
session=""
# A printer of the kind a USB label printer is, for the menu beside 出力先.
printer_name='出荷ラベル プリンター'
printer_port='LPT5:'
records=""
records_before=""
work=$(mktemp -d)
# The local time (TZ=UTC) the program's clock shows in every shot.
shot_time='2026-12-09 03:40:12'
# Finds and drives the program's windows for the shots.
shot=$build/WindowShot.exe

finish() {
  if [ -n "$session" ]; then
    wine "$shot" forget "$section" >>"$VARNOW_WINE_LOG" 2>&1 || true
    wine "$shot" printer-remove "$printer_name" "$printer_port" >>"$VARNOW_WINE_LOG" 2>&1 || true
    wine_session_stop
    [ -n "$records" ] && [ -z "$records_before" ] && rm -rf "$records"
    if [ -n "$lpt1_before" ]; then ln -sfn "$lpt1_before" "$lpt1_link"; else rm -f "$lpt1_link"; fi
    rm -rf "$drive_c/Varnow"
  else
    [ -z "${VARNOW_XVFB_PID:-}" ] || wine_session_stop
  fi
  rm -rf "$work"
}
trap finish EXIT

wine_display_start
wine_prefix_ensure
lpt1_before=$(readlink "$lpt1_link" || true)
session=1
wine_server_start
wine_lpt1_capture "$work/lpt1.bin"
# Wine names the Windows user after the Unix one.
records="$drive_c/users/$(id -un)/AppData/Local/Brenholt/Varnow/Records/$section"
[ -d "$records" ] && records_before=1
wine "$shot" printer-add "$printer_name" "$printer_port" "$work/printer.bin" >>"$VARNOW_WINE_LOG" 2>&1 ||
  { echo "build-manual: the printer could not be added" >&2; exit 1; }

# A realistic installation: a job folder with two jobs waiting, and a header
# and footer a printer would need (reset, form feed).
mkdir -p "$drive_c/Varnow/jobs" "$drive_c/Varnow/forms"
printf '\033@' >"$drive_c/Varnow/forms/header.bin"
printf '\f' >"$drive_c/Varnow/forms/footer.bin"
head -c 5120 /dev/zero | tr '\0' 'A' >"$drive_c/Varnow/jobs/ORDER0001.GLF"
head -c 7277 /dev/zero | tr '\0' 'B' >"$drive_c/Varnow/jobs/ORDER0002.GLF"
wine "$shot" forget "$section" >>"$VARNOW_WINE_LOG" 2>&1
wine "$shot" settings "$section" 'Findpos=C:\Varnow\jobs' Output=LPT1 'Target=*.GLF' Waiting=.OFI \
  'Header=C:\Varnow\forms\header.bin' 'Footer=C:\Varnow\forms\footer.bin' Priority=3 Iconic=0 \
  >>"$VARNOW_WINE_LOG" 2>&1

# Wine's own desktop draws title bars and a taskbar with the tray.
# The program's clock stands still at one moment (libfaketime; Wine's timers
# and Sleep run on the monotonic clock, which goes on), so the times the
# status line shows are the same in every build of the manual.
(cd "$drive_c" && LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 \
  FAKETIME="$shot_time" FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1 \
  wine explorer "/desktop=$desktop,${width}x$height" "$build/Varnow.exe" \
  >>"$VARNOW_WINE_LOG" 2>&1 </dev/null &)

# Prints the geometry the helper reports, or fails the build.
locate() {
  local geometry
  geometry=$(wine "$shot" "$@" 2>>"$VARNOW_WINE_LOG" | tr -d '\r')
  [[ $geometry =~ ^[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+$ ]] || {
    echo "build-manual: '$*' found no window" >&2
    return 1
  }
  echo "$geometry"
}

# Lets the window finish painting, then keeps the part of the screen given.
capture() {
  sleep 0.7
  import -window root -crop "$2" +repage -define png:exclude-chunks=date,time "$work/$1.png"
}

# Two windows of the screen, each where it stands, on a transparent ground.
capture_pair() {
  sleep 0.7
  local -a a b
  IFS='x+' read -r -a a <<<"$2"
  IFS='x+' read -r -a b <<<"$3"
  local left=$((a[2] < b[2] ? a[2] : b[2])) top=$((a[3] < b[3] ? a[3] : b[3]))
  local right=$((a[2] + a[0] > b[2] + b[0] ? a[2] + a[0] : b[2] + b[0]))
  local bottom=$((a[3] + a[1] > b[3] + b[1] ? a[3] + a[1] : b[3] + b[1]))
  import -window root "$work/screen.png"
  convert -size "$((right - left))x$((bottom - top))" xc:none \
    \( "$work/screen.png" -crop "$2" +repage \) -geometry "+$((a[2] - left))+$((a[3] - top))" -composite \
    \( "$work/screen.png" -crop "$3" +repage \) -geometry "+$((b[2] - left))+$((b[3] - top))" -composite \
    -define png:exclude-chunks=date,time "$work/$1.png"
  rm "$work/screen.png"
}

# The tray icon: the right end of Wine's taskbar, where Varnow's icon is the
# only one, twice as large so that the warning mark can be seen.
capture_tray() {
  sleep 0.7
  import -window root -crop "22x20+$((width - 22))+$((height - 20))" +repage "$work/tray.png"
  convert "$work/tray.png" -scale 200% -define png:exclude-chunks=date,time "$work/$1.png"
  rm "$work/tray.png"
}

main=$(locate window "$section")
# Both jobs relayed and counted; the display refreshes every 5 seconds.
wine "$shot" wait-text "$section" 1008 2 >>"$VARNOW_WINE_LOG" 2>&1 ||
  { echo "build-manual: the jobs were not relayed" >&2; exit 1; }
capture main-searching "$main"
capture_tray tray-icon

# The menu opens at the cursor: by the tray icon in the taskbar's corner, but
# clear of it, so that the icon's tooltip does not cover the menu. Wine takes
# the cursor from the X pointer. The shot is the menu alone: Wine's desktop
# around it looks like no Windows desktop.
xdotool mousemove $((width - 12)) $((height - 40))
menu=$(locate tray "$section")
capture tray-menu "$menu"
wine "$shot" close "$section" >>"$VARNOW_WINE_LOG" 2>&1

about=$(locate about "$section")
capture about "$about"
wine "$shot" close "$section" >>"$VARNOW_WINE_LOG" 2>&1

stopped=$(locate stop "$section")
capture main-stopped "$stopped"

# The menu beside 出力先 over the window it drops from; where the menu
# reaches beyond the window, the desktop around them is left out.
output_menu=$(locate output-menu "$section")
capture_pair output-menu "$stopped" "$output_menu"
wine "$shot" close "$section" >>"$VARNOW_WINE_LOG" 2>&1

# A trouble in the status line: 出力先 mistyped as LTP1 (no such port,
# printer or file) while a job waits. The job stays and is tried again every
# few seconds; the shot is taken at the second try.
wine "$shot" set-text "$section" 1007 LTP1 >>"$VARNOW_WINE_LOG" 2>&1
head -c 2048 /dev/zero | tr '\0' 'C' >"$drive_c/Varnow/jobs/ORDER0003.GLF"
wine "$shot" start "$section" >>"$VARNOW_WINE_LOG" 2>&1
# Held still while the shots are taken: the next try would count on. The
# words begin at the count: the window may break the line before it.
wine "$shot" hold "$section" 1013 '2 回）' >>"$VARNOW_WINE_LOG" 2>&1 ||
  { echo "build-manual: the status line did not show the output that cannot be opened" >&2; exit 1; }
[ ! -e "$drive_c/LTP1" ] && [ -f "$drive_c/Varnow/jobs/ORDER0003.GLF" ] ||
  { echo "build-manual: the mistyped output was created or the job went" >&2; exit 1; }
capture main-trouble "$stopped"
capture_tray tray-icon-warning
wine "$shot" release "$section" >>"$VARNOW_WINE_LOG" 2>&1
wine "$shot" exit "$section" >>"$VARNOW_WINE_LOG" 2>&1 || true

if [ -n "${VARNOW_MANUAL_SHOTS:-}" ]; then
  mkdir -p "$VARNOW_MANUAL_SHOTS"
  cp "$work"/*.png "$VARNOW_MANUAL_SHOTS/"
  cp "$records"/*.csv "$VARNOW_MANUAL_SHOTS/" 2>/dev/null || true
fi
python3 "$root/docs/manual/inline.py" "$root/docs/manual/Varnow.html" "$work" "$out/Varnow.html"
echo "build-manual: $out/Varnow.html"
