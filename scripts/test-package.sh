#!/usr/bin/env bash
# Tests what scripts/package.sh left in build/package (run it first): the
# zip's entries, each program built for the Windows its folder names, and
# that packaging again gives the same bytes; then the installer, silent, in a
# fresh 64-bit Wine prefix of its own (build/package-test): a first
# installation over settings the zip's program left, which stores the search
# folder it is given and installs the x86_64 program, the installed program
# relaying a job to LPT1, an upgrade refused while the program runs, an upgrade
# of a 32-bit copy that puts the x86_64 program in its place and keeps the
# settings, and the uninstaller. Where 32-bit programs run, the installer also
# installs the i686 program in a 32-bit prefix.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/package
version=$(cat "$root/build/x86_64/generated/version.txt") || exit 1
zip=$out/Varnow-$version-win32.zip
setup=$out/Varnow-$version-setup.exe
stage=$out/stage
[ -f "$zip" ] && [ -f "$setup" ] || { echo "test-package: run scripts/package.sh first" >&2; exit 1; }

# A test runs all its checks; any failed check fails it.
passed=0
failed=0
problems=0
run_test() {
  local started=$SECONDS
  problems=0
  "$1"
  if [ "$problems" = 0 ]; then
    passed=$((passed + 1))
    echo "ok   $1 ($((SECONDS - started)) s)"
  else
    failed=$((failed + 1))
    echo "FAIL $1"
  fi
}
fail() {
  echo "     $*"
  problems=$((problems + 1))
}

# Polls a command for up to 30 s.
eventually() {
  local i
  for i in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# The machine a Windows program is built for, from its PE header.
pe_machine() {
  python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
offset = struct.unpack_from("<I", data, 0x3C)[0]
print({0x14C: "i686", 0x8664: "x86_64"}.get(struct.unpack_from("<H", data, offset + 4)[0], "?"))'
}
zip_entry() { python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' "$zip" "$1"; }

zip_holds_each_program_in_the_folder_of_its_windows() {
  local entries
  entries=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
  [ "$entries" = "README.txt LICENSE.txt 64bit/Varnow.exe 64bit/Varnow.html 32bit/Varnow.exe 32bit/Varnow.html" ] ||
    fail "entries: $entries"
  [ "$(zip_entry 64bit/Varnow.exe | pe_machine)" = x86_64 ] || fail "64bit/Varnow.exe is not the x86_64 program"
  [ "$(zip_entry 32bit/Varnow.exe | pe_machine)" = i686 ] || fail "32bit/Varnow.exe is not the i686 program"
  cmp -s <(zip_entry 64bit/Varnow.html) <(zip_entry 32bit/Varnow.html) || fail "the two manuals differ"
  zip_entry README.txt | grep -q '64bit フォルダーの Varnow.exe' || fail "README.txt names no 64bit folder"
}

# The whole package again, manual and screenshots included, elsewhere.
packaging_again_gives_the_same_bytes() {
  local again=$root/build/package-again
  bash "$root/scripts/package.sh" "$again" >"$VARNOW_PACKAGE_AGAIN_LOG" 2>&1 ||
    { fail "package.sh failed again (see $VARNOW_PACKAGE_AGAIN_LOG)"; return; }
  local name
  for name in "$(basename "$zip")" "$(basename "$setup")" SHA256SUMS; do
    cmp -s "$out/$name" "$again/$name" || fail "$name differs from the first packaging"
  done
  for name in $(cd "$out/stage" && find . -type f | sort); do
    cmp -s "$out/stage/$name" "$again/stage/$name" || fail "  staged $name differs"
  done
}

# --- The installer, in a prefix of its own ------------------------------------

export VARNOW_BUILD_DIR=$root/build/package-test
rm -rf "$VARNOW_BUILD_DIR"
mkdir -p "$VARNOW_BUILD_DIR"
source "$root/scripts/wine-env.sh"
# Start-menu shortcuts would otherwise become menu entries of this machine.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
export WINEARCH=win64
VARNOW_PACKAGE_AGAIN_LOG=$VARNOW_WINE_IO/package-again.log
# The installer run. It is a 32-bit program: where none can run, the same
# script built as a 64-bit program from the same files stands in for it.
installer=$setup
if ! wine_runs_32bit; then
  installer=$VARNOW_BUILD_DIR/Varnow-$version-setup-amd64.exe
  makensis -INPUTCHARSET UTF8 -V2 -DTARGET=amd64-unicode -DVERSION="$version" -DSTAGE="$stage" \
    -DOUTFILE="$installer" "$root/packaging/Varnow.nsi" >>"$VARNOW_WINE_LOG" 2>&1 ||
    { echo "test-package: cannot build the 64-bit installer" >&2; exit 1; }
  echo "     this machine runs no 32-bit programs: testing $(basename "$setup") built as a 64-bit program"
fi
varnow_pid=""
stop_all() {
  [ -n "$varnow_pid" ] && kill "$varnow_pid" 2>/dev/null
  wine_session_stop
}
trap stop_all EXIT

jobs_dir=$VARNOW_BUILD_DIR/jobs
capture=$VARNOW_BUILD_DIR/lpt1-capture
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnow'
settings_key='HKCU\Software\Brenholt\Varnow\Varnow'

win_env() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }
# The data of one registry value as `reg query` prints it (in code page 932);
# empty when absent.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | iconv -f CP932 -t UTF-8 | tr -d '\r' |
    sed -n "s/^ *$2 \{2,\}REG_[A-Z_]* \{2,\}//p"
}
run_installer() { wine "$installer" /S "$@" >>"$VARNOW_WINE_LOG" 2>&1; }
installed_files() { (cd "$install_dir" && sha256sum Varnow.exe Varnow.html LICENSE.txt Uninstall.exe); }
installed_machine() { pe_machine <"$install_dir/Varnow.exe"; }
gone() { [ ! -e "$1" ]; }
capture_is() { [ "$(cat "$capture")" = "$1" ]; }

# The zip's program, tried before the installation, stored its own folder and
# an output. The first installation is given a search folder: it stores that
# one, and the stored output, which the page showed. (Wine quotes an argument
# with a blank whole, which is not how a Windows user writes /FOLDER="a b", so
# these have none.)
zip_folder='C:\Users\Public\Varnow-zip\64bit'
first_folder='C:\Varnow\ジョブ受付'
first_output='ラベルプリンター'

first_install_puts_files_shortcuts_and_uninstall_entry() {
  wine reg add "$settings_key" /v Findpos /t REG_SZ /d "$zip_folder" /f >>"$VARNOW_WINE_LOG" 2>&1 &&
    wine reg add "$settings_key" /v Output /t REG_SZ /d "$first_output" /f >>"$VARNOW_WINE_LOG" 2>&1 ||
    fail "cannot store the zip's settings"
  run_installer "/FOLDER=$first_folder" || fail "installer exit code $?"
  local name
  for name in Varnow.exe Varnow.html; do
    cmp -s "$stage/64bit/$name" "$install_dir/$name" || fail "64bit/$name not installed"
  done
  cmp -s "$stage/LICENSE.txt" "$install_dir/LICENSE.txt" || fail "LICENSE.txt not installed"
  [ "$(installed_machine)" = x86_64 ] || fail "the $(installed_machine) program installed on 64-bit Windows"
  [ -f "$install_dir/Uninstall.exe" ] || fail "no Uninstall.exe"
  local links
  links=$(cd "$menu_dir" 2>/dev/null && ls -- *.lnk | wc -l)
  [ -f "$menu_dir/Varnow.lnk" ] && [ "$links" = 3 ] || fail "start menu: $links shortcuts"
  gone "$startup_link" || fail "start-up shortcut made without /AUTOSTART=1"

  local exe="$install_win\\Varnow.exe" uninstaller="\"$install_win\\Uninstall.exe\""
  [ "$(reg_value "$uninstall_key" DisplayName)" = Varnow ] || fail "DisplayName"
  [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "DisplayVersion"
  [ "$(reg_value "$uninstall_key" Publisher)" = Brenholt ] || fail "Publisher"
  [ "$(reg_value "$uninstall_key" DisplayIcon)" = "$exe" ] || fail "DisplayIcon"
  [ "$(reg_value "$uninstall_key" InstallLocation)" = "$install_win" ] || fail "InstallLocation"
  [ "$(reg_value "$uninstall_key" UninstallString)" = "$uninstaller" ] || fail "UninstallString"
  [ "$(reg_value "$uninstall_key" QuietUninstallString)" = "$uninstaller /S" ] ||
    fail "QuietUninstallString"
  [ "$(reg_value "$uninstall_key" NoModify)" = 0x1 ] || fail "NoModify"
  [ "$(reg_value "$uninstall_key" NoRepair)" = 0x1 ] || fail "NoRepair"
  local size_kb=$(($(reg_value "$uninstall_key" EstimatedSize)))
  local exe_kb=$(($(stat -c %s "$install_dir/Varnow.exe") / 1024))
  [ "$size_kb" -ge "$exe_kb" ] || fail "EstimatedSize $size_kb KB, Varnow.exe alone $exe_kb KB"

  [ "$(reg_value "$settings_key" Findpos)" = "$first_folder" ] || fail "Findpos not stored"
  [ "$(reg_value "$settings_key" Output)" = "$first_output" ] || fail "Output not stored"
  [ -d "$(winepath -u "$first_folder" 2>/dev/null)" ] || fail "search folder not created"
}

installed_program_relays_a_job_to_lpt1() {
  mkdir -p "$jobs_dir"
  wine reg add "$settings_key" /v Findpos /t REG_SZ /d "Z:${jobs_dir//\//\\}" /f \
    >>"$VARNOW_WINE_LOG" 2>&1 || fail "cannot store the search folder"
  wine reg add "$settings_key" /v Output /t REG_SZ /d LPT1 /f >>"$VARNOW_WINE_LOG" 2>&1 ||
    fail "cannot store the output"
  (cd "$install_dir" && exec wine Varnow.exe) >>"$VARNOW_WINE_LOG" 2>&1 &
  varnow_pid=$!
  local job="package test $version $$"
  printf '%s' "$job" >"$jobs_dir/PKGTEST.GLF"
  eventually gone "$jobs_dir/PKGTEST.GLF" || fail "job not taken up"
  eventually capture_is "$job" || fail "LPT1 got: $(head -c 80 "$capture")"
}

upgrade_while_running_is_refused_and_changes_nothing() {
  [ -n "$varnow_pid" ] && kill -0 "$varnow_pid" || fail "Varnow.exe is not running"
  local before
  before=$(installed_files)
  run_installer
  local code=$?
  [ "$code" = 2 ] || fail "installer exit code $code over a running Varnow.exe, not 2"
  [ "$(installed_files)" = "$before" ] || fail "installed files changed"
  # In place (_?=) the uninstaller runs to its end and reports.
  wine "$install_dir/Uninstall.exe" /S "_?=$install_win" >>"$VARNOW_WINE_LOG" 2>&1
  code=$?
  [ "$code" = 2 ] || fail "uninstaller exit code $code over a running Varnow.exe, not 2"
  [ "$(installed_files)" = "$before" ] || fail "uninstaller removed files"
  [ -n "$(reg_value "$uninstall_key" DisplayName)" ] || fail "uninstall entry removed"
}

# As 1.2.0 left it on 64-bit Windows: the i686 program.
upgrade_of_a_32bit_copy_puts_x86_64_keeps_settings_adds_autostart() {
  kill "$varnow_pid" && wait "$varnow_pid" 2>/dev/null
  varnow_pid=""
  cp "$stage/32bit/Varnow.exe" "$install_dir/Varnow.exe" || fail "cannot put the i686 program in place"
  local folder output
  folder=$(reg_value "$settings_key" Findpos)
  output=$(reg_value "$settings_key" Output)
  run_installer /AUTOSTART=1 '/FOLDER=C:\Other' /OUTPUT=LPT2 || fail "installer exit code $?"
  cmp -s "$stage/64bit/Varnow.exe" "$install_dir/Varnow.exe" &&
    [ "$(installed_machine)" = x86_64 ] || fail "the x86_64 program is not in place"
  [ -f "$startup_link" ] || fail "no start-up shortcut with /AUTOSTART=1"
  [ -n "$folder" ] && [ "$(reg_value "$settings_key" Findpos)" = "$folder" ] ||
    fail "stored search folder changed"
  [ -n "$output" ] && [ "$(reg_value "$settings_key" Output)" = "$output" ] ||
    fail "stored output changed"
}

uninstall_removes_everything_but_the_settings() {
  local folder
  folder=$(reg_value "$settings_key" Findpos)
  wine "$install_dir/Uninstall.exe" /S >>"$VARNOW_WINE_LOG" 2>&1 || fail "uninstaller exit code $?"
  # The uninstaller works from a copy in the temp folder and returns at once.
  eventually gone "$install_dir" || fail "install folder left: $(ls "$install_dir")"
  gone "$menu_dir" || fail "start menu folder left"
  gone "$startup_link" || fail "start-up shortcut left"
  wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "uninstall entry left"
  [ -n "$folder" ] && [ "$(reg_value "$settings_key" Findpos)" = "$folder" ] ||
    fail "settings removed by a silent uninstall"
}

# A 32-bit Windows: a prefix of its own, with a server of its own.
installs_the_i686_program_on_32bit_windows() {
  local prefix=$VARNOW_BUILD_DIR/wine-prefix-32
  rm -rf "$prefix"
  WINEPREFIX=$prefix WINEARCH=win32 wine wineboot -i >>"$VARNOW_WINE_LOG" 2>&1 </dev/null ||
    { fail "cannot make a 32-bit prefix"; return; }
  WINEPREFIX=$prefix WINEARCH=win32 wine "$installer" /S '/FOLDER=C:\Jobs' >>"$VARNOW_WINE_LOG" 2>&1 ||
    fail "installer exit code $?"
  local exe=$prefix/drive_c/users/$(id -un)/AppData/Local/Programs/Varnow/Varnow.exe
  cmp -s "$stage/32bit/Varnow.exe" "$exe" && [ "$(pe_machine <"$exe")" = i686 ] ||
    fail "the i686 program is not installed on 32-bit Windows"
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  rm -rf "$prefix"
}

run_test zip_holds_each_program_in_the_folder_of_its_windows
run_test packaging_again_gives_the_same_bytes

started=$SECONDS
wine_session_start "$capture" || exit 1
echo "     fresh prefix ready in $((SECONDS - started)) s"
install_win="$(win_env LOCALAPPDATA)\\Programs\\Varnow"
install_dir=$(winepath -u "$install_win" 2>/dev/null)
menu_dir=$(winepath -u "$(win_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Varnow" 2>/dev/null)
startup_link=$(winepath -u "$(win_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Varnow.lnk" 2>/dev/null)

run_test first_install_puts_files_shortcuts_and_uninstall_entry
run_test installed_program_relays_a_job_to_lpt1
run_test upgrade_while_running_is_refused_and_changes_nothing
run_test upgrade_of_a_32bit_copy_puts_x86_64_keeps_settings_adds_autostart
run_test uninstall_removes_everything_but_the_settings
wine_runs_32bit && run_test installs_the_i686_program_on_32bit_windows

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
