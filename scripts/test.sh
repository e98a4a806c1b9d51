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

# The Windows tests mostly wait on the program's polls, so they run in
# lanes, each with its own prefixes and displays, that share the two cores;
# the native builds and tests fill the time they leave idle at the lowest
# priority. The longest end-to-end suites run in a prefix of their own. Each
# lane's output is shown whole once all have ended.
slow_suites='RelayExactlyOnce|StatusAndRecord'
# Each lane takes a build and "soak" where the soak runs after its tests.
soak_if() {
  if [ "${2:-}" = soak ]; then bash "$root/scripts/wine-soak.sh" "$build/$1"; fi
}
quick_lane() {
  bash "$root/scripts/wine-ctest.sh" "$build/$1" -E "$slow_suites"
  soak_if "$@"
}
slow_lane() {
  VARNOW_WINE_SESSION=slow bash "$root/scripts/wine-ctest.sh" "$build/$1" -R "$slow_suites"
  soak_if "$@"
}
package_lane() {
  bash "$root/scripts/test-package.sh"
  quick_lane "$@"
}
logs=$build/test-logs
mkdir -p "$logs"
lanes=()
lane() {
  local name=$1; shift
  ( set -e; "$@" ) >"$logs/$name.log" 2>&1 &
  lanes+=("$name:$!")
}
# The soak runs once, about a minute: on the i686 build, which fewer
# machines can check, where this one runs 32-bit programs.
if wine_runs_32bit; then
  lane i686 quick_lane i686 soak
  lane i686-slow slow_lane i686
  lane x86_64 package_lane x86_64
  lane x86_64-slow slow_lane x86_64
else
  echo "test.sh: this machine runs no 32-bit programs: the Windows tests and the soak run on the x86_64 build only"
  lane x86_64 package_lane x86_64
  lane x86_64-slow slow_lane x86_64 soak
fi
status=0
( renice -n 19 -p "$BASHPID" >/dev/null; set -e; natives ) >"$logs/native.log" 2>&1 & native_pid=$!
wait "$native_pid" || status=1
cat "$logs/native.log"
for entry in "${lanes[@]}"; do
  wait "${entry##*:}" || status=1
done
for entry in "${lanes[@]}"; do
  cat "$logs/${entry%%:*}.log"
done
[ "$status" -eq 0 ] && echo "test.sh: every test passed" || echo "test.sh: FAILED (see above)"
exit "$status"
