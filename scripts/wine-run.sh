#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's test environment; CTest
# uses it as the emulator for the cross-compiled tests.
#
# Its output goes through files rather than straight to the caller: Wine
# processes that outlive the program would otherwise keep the caller's pipes
# open, and CTest waits for the end of output until its timeout.
set -uo pipefail
program=${1:?usage: wine-run.sh program.exe [arguments...]}
VARNOW_BUILD_HINT=$(dirname "$program")
source "$(dirname "$0")/wine-env.sh" || exit 1
wine_prefix_ensure || exit 1
# A session (wine-ctest.sh) may have mapped LPT1 already; keep its mapping.
[ -e "$WINEPREFIX/dosdevices/lpt1" ] || wine_lpt1_capture

out=$(mktemp "$VARNOW_WINE_IO/run.XXXXXX")
trap 'rm -f "$out.1" "$out.2" "$out"' EXIT
wine "$@" >"$out.1" 2>"$out.2" </dev/null
status=$?
cat "$out.1"
cat "$out.2" >&2
exit $status
