#!/usr/bin/env bash
# Builds and runs every test: the Windows builds (i686, x86_64) with their
# tests under Wine, a soak and the packages made from both builds, and beside
# them the native engine tests (plain, ASan+UBSan, TSan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
bash "$root/scripts/setup.sh"

native() {
  local dir=$build/$1; shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
  cmake --build "$dir" -j2
  ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
}
natives() {
  native native
  native native-asan -DVARNOW_SANITIZE=address
  native native-tsan -DVARNOW_SANITIZE=thread
}

windows_build() {
  local dir=$build/$1
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$1.cmake" >/dev/null
  cmake --build "$dir" -j2
}

windows_build i686
windows_build x86_64
bash "$root/scripts/package.sh"
source "$root/scripts/wine-arch.sh"

# The Windows tests mostly wait on the program's polls, so two lanes, each
# with its own prefixes and displays, share the two cores, and the native
# builds and tests fill the time they leave idle at the lowest priority. Each
# lane's output is shown whole once both have ended.
lane() {
  local log=$1; shift
  ( set -e; "$@" ) >"$log" 2>&1
}
i686_lane() {
  bash "$root/scripts/wine-ctest.sh" "$build/i686"
  # Once, about three minutes: here on the i686 build, which fewer machines
  # can check; elsewhere on the x86_64 build.
  bash "$root/scripts/wine-soak.sh" "$build/i686"
}
other_lane() {
  bash "$root/scripts/test-package.sh"
  bash "$root/scripts/wine-ctest.sh" "$build/x86_64"
}
# Where no 32-bit program can run, the Windows tests, the soak included, run
# on the x86_64 build, the longest end-to-end suites beside the soak in a
# prefix of their own.
slow_suites='RelayExactlyOnce|StatusAndRecord'
x86_64_lane() {
  bash "$root/scripts/test-package.sh"
  bash "$root/scripts/wine-ctest.sh" "$build/x86_64" -E "$slow_suites"
}
x86_64_soak_lane() {
  bash "$root/scripts/wine-soak.sh" "$build/x86_64"
  VARNOW_WINE_SESSION=slow bash "$root/scripts/wine-ctest.sh" "$build/x86_64" -R "$slow_suites"
}
logs=$build/test-logs
mkdir -p "$logs"
if wine_runs_32bit; then
  lane "$logs/i686.log" i686_lane & i686_pid=$!
  lane "$logs/other.log" other_lane & other_pid=$!
else
  echo "test.sh: this machine runs no 32-bit programs: the Windows tests and the soak run on the x86_64 build only"
  lane "$logs/i686.log" x86_64_soak_lane & i686_pid=$!
  lane "$logs/other.log" x86_64_lane & other_pid=$!
fi
status=0
( renice -n 19 -p "$BASHPID" >/dev/null; set -e; natives ) >"$logs/native.log" 2>&1 & native_pid=$!
wait "$native_pid" || status=1
cat "$logs/native.log"
wait "$i686_pid" || status=1
wait "$other_pid" || status=1
cat "$logs/i686.log" "$logs/other.log"
[ "$status" -eq 0 ] && echo "test.sh: every test passed" || echo "test.sh: FAILED (see above)"
exit "$status"
