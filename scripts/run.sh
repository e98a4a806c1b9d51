#!/usr/bin/env bash
# Builds the 32-bit Varnow.exe and runs it under Wine with LPT1 behind a pump
# that appends all it gets to a capture file, as paper would, and
# build/run/jobs as its search folder. Where no 32-bit
# program can run, the same program is built for x86_64 and run instead.
# Usage: run.sh [section]   (the section defaults to Varnow)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
source "$root/scripts/wine-arch.sh"
arch=i686
wine_runs_32bit || arch=x86_64
dir=$root/build/$arch
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null
cmake --build "$dir" -j2 --target Varnow

export VARNOW_BUILD_DIR=$dir
source "$root/scripts/wine-env.sh"
run=$root/build/run
mkdir -p "$run/jobs"
own_display=""
if [ -z "${DISPLAY:-}" ]; then wine_display_start; own_display=1; fi
trap wine_session_stop EXIT
wine_prefix_ensure
wine_server_start
# LPT1 behind the printer pump, as in the tests: the capture grows with every
# job, as paper would, instead of each job overwriting the one before.
wine_lpt_pump 1
ln -sfn "$VARNOW_LPT1_CAPTURE" "$run/lpt1-capture.bin"

echo "Search folder: $run/jobs   LPT1 capture: $run/lpt1-capture.bin"
echo "Drop a file, e.g.: echo hello > $run/jobs/TEST.GLF"
cd "$run/jobs"
if [ -n "$own_display" ]; then
  # Wine's own desktop draws title bars and a taskbar with the tray.
  wine explorer /desktop=Varnow,1024x768 "$dir/Varnow.exe" "$@" &
  sleep 8
  import -window root "$run/screenshot.png" && echo "Screenshot: $run/screenshot.png"
  echo "Varnow runs on the private display $DISPLAY; press Ctrl+C to end it."
  wait
else
  wine "$dir/Varnow.exe" "$@"
fi
