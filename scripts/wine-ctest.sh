#!/usr/bin/env bash
# Runs the CTest suite of a Windows build tree under Wine: one prefix, one
# Xvfb and one persistent wineserver for the whole run, always torn down.
# Usage: wine-ctest.sh <builddir> [ctest arguments...]
set -euo pipefail
export VARNOW_BUILD_DIR=$(cd "${1:?usage: wine-ctest.sh <builddir> [ctest args]}" && pwd -P)
shift
source "$(dirname "$0")/wine-env.sh"
# A test that makes a job immutable (chattr +i) clears the flag itself; should
# it be killed first, the flag must not keep the build tree from being deleted.
release_immutable_jobs() {
  find "$WINEPREFIX/drive_c/users" -path '*/varnow-immutable-*' \
    -exec chattr -i {} + 2>/dev/null || true
}
trap 'release_immutable_jobs; wine_session_stop' EXIT
wine_session_start
wine_lpt_pump 1
ctest --test-dir "$VARNOW_BUILD_DIR" --timeout 300 --output-on-failure "$@"
