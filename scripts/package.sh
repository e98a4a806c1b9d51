#!/usr/bin/env bash
# Builds what Windows users download, under build/package (or the folder given):
#   Varnow-<version>-win32.zip   both programs (64bit\ and 32bit\, each with the
#                                manual), a Japanese read-me, the licence
#   Varnow-<version>-setup.exe   the per-user installer (packaging/Varnow.nsi),
#                                which installs the program that matches Windows
#   SHA256SUMS
# The programs come from build/x86_64 and build/i686, the trees run.sh and
# test.sh use, and the version from their project(). The same sources give the
# same bytes, whenever and wherever they are packaged.
# Usage: package.sh [out-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/package}
stage=$out/stage
bash "$root/scripts/setup.sh"
build() {
  cmake -S "$root" -B "$root/build/$1" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$1.cmake" >/dev/null
  cmake --build "$root/build/$1" -j2 --target "${@:2}"
}
build i686 Varnow
# The manual's screenshots come from the x86_64 program, which runs on every
# machine, so that every machine makes the same manual.
build x86_64 Varnow WindowShot
version=$(cat "$root/build/x86_64/generated/version.txt")
zip=Varnow-$version-win32.zip
setup=Varnow-$version-setup.exe

rm -rf "$stage"
mkdir -p "$stage/64bit" "$stage/32bit"
rm -f "$out"/Varnow-*-win32.zip "$out"/Varnow-*-setup.exe "$out/SHA256SUMS"
bash "$root/scripts/build-manual.sh" "$root/build/x86_64" "$stage"
# The Help button opens the manual beside the program.
for bits in 64bit 32bit; do cp "$stage/Varnow.html" "$stage/$bits/"; done
rm "$stage/Varnow.html"
cp "$root/build/x86_64/Varnow.exe" "$stage/64bit/"
cp "$root/build/i686/Varnow.exe" "$stage/32bit/"
# Notepad of every Windows version shows UTF-8 with a byte-order mark and CRLF.
{
  printf '\xef\xbb\xbf'
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$root/packaging/README-ja.txt"
} >"$stage/README.txt"
sed -e 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
# Both packages record the files' times: dated to the last commit (or
# SOURCE_DATE_EPOCH), the same sources give the same bytes.
touch -d "@${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}" "$stage"/* "$stage"/*/*

python3 "$root/scripts/package-zip.py" "$stage" "$out/$zip"
makensis -INPUTCHARSET UTF8 -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/$setup" \
  "$root/packaging/Varnow.nsi"
(cd "$out" && sha256sum "$zip" "$setup" >SHA256SUMS)
echo "package: $out/$zip"
echo "package: $out/$setup"
