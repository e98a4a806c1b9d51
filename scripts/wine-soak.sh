#!/usr/bin/env bash
# Runs the soak (tests/wine/soak) of a Windows build tree under Wine, once: two
# copies of Varnow.exe, LPT1 and LPT2 each behind its own printer pump, in a
# session of their own. Prints the soak's wall time.
# Usage: wine-soak.sh <builddir>
set -euo pipefail
export VARNOW_BUILD_DIR=$(cd "${1:?usage: wine-soak.sh <builddir>}" && pwd -P)
# A prefix of its own, so that the soak can run beside the tests of the tree.
export VARNOW_WINE_SESSION=soak
scripts=$(cd "$(dirname "$0")" && pwd)
source "$scripts/wine-env.sh"
trap wine_session_stop EXIT
wine_session_start
wine_lpt_pump 1
wine_lpt_pump 2
started=$SECONDS
status=0
timeout 600 bash "$scripts/wine-run.sh" "$VARNOW_BUILD_DIR/wine_soak.exe" || status=$?
echo "wine-soak: $((SECONDS - started)) s, exit status $status"
exit $status
