#!/usr/bin/env bash
# Builds and runs every test: the native engine tests (plain, ASan+UBSan,
# TSan), then the Windows builds (i686, x86_64) with their tests under Wine,
# and the packages made from the i686 build.
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

windows() {
  local dir=$build/$1
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$1.cmake" >/dev/null
  cmake --build "$dir" -j2
  bash "$root/scripts/wine-ctest.sh" "$dir"
}

native native
native native-asan -DVARNOW_SANITIZE=address
native native-tsan -DVARNOW_SANITIZE=thread
windows i686
# The packages take the i686 program just built; their tests use a prefix of their own.
bash "$root/scripts/package.sh"
bash "$root/scripts/test-package.sh"
windows x86_64
