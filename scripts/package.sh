#!/usr/bin/env bash
# Builds what Windows users download, under build/package:
#   Varnow-<version>-win32.zip   the program, the manual, a Japanese read-me, the licence
#   Varnow-<version>-setup.exe   the per-user installer (packaging/Varnow.nsi)
#   SHA256SUMS
# The program comes from build/i686, the tree run.sh and test.sh use, and the
# version from its project().
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/i686
out=$root/build/package
stage=$out/stage
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" >/dev/null
cmake --build "$build" -j2 --target Varnow WindowShot
version=$(cat "$build/generated/version.txt")
zip=Varnow-$version-win32.zip
setup=Varnow-$version-setup.exe

rm -rf "$stage"
mkdir -p "$stage"
rm -f "$out"/Varnow-*-win32.zip "$out"/Varnow-*-setup.exe "$out/SHA256SUMS"
cp "$build/Varnow.exe" "$stage/"
# The screenshots come from the same program built for x86_64 where no 32-bit
# program can run.
source "$root/scripts/wine-arch.sh"
shots=$build
if ! wine_runs_32bit; then
  shots=$root/build/x86_64
  cmake -S "$root" -B "$shots" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" >/dev/null
  cmake --build "$shots" -j2 --target Varnow WindowShot
fi
bash "$root/scripts/build-manual.sh" "$shots" "$stage"
# Notepad of every Windows version shows UTF-8 with a byte-order mark and CRLF.
{
  printf '\xef\xbb\xbf'
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/packaging/README-ja.txt"
} >"$stage/README.txt"
sed -e 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
# Both packages record the files' times: dated to the last commit (or
# SOURCE_DATE_EPOCH), the same sources give the same bytes.
touch -d "@${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}" "$stage"/*

python3 "$root/scripts/package-zip.py" "$stage" "$out/$zip"
makensis -INPUTCHARSET UTF8 -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/$setup" \
  "$root/packaging/Varnow.nsi"
(cd "$out" && sha256sum "$zip" "$setup" >SHA256SUMS)
echo "package: $out/$zip"
echo "package: $out/$setup"
