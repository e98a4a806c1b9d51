#!/usr/bin/env bash
# Tests what scripts/package.sh left in build/package (run it first): the
# zip's entries and that the zip step gives the same bytes again; then the
# installer, silent, in a fresh Wine prefix of its own (build/package-test):
# a first installation that stores the search folder and output it is given,
# the installed program relaying a job to LPT1, an upgrade refused while the
# program runs, an upgrade that keeps the settings, and the uninstaller.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/package
version=$(cat "$root/build/i686/generated/version.txt") || exit 1
zip=$out/Varnow-$version-win32.zip
# VARNOW_TEST_SETUP names another build of the installer to test (a 64-bit one
# where no 32-bit program can run), VARNOW_TEST_STAGE the folder it was built from.
setup=${VARNOW_TEST_SETUP:-$out/Varnow-$version-setup.exe}
# The files that installer holds.
stage=${VARNOW_TEST_STAGE:-$out/stage}
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

zip_lists_its_entries_in_order() {
  local entries
  entries=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
  [ "$entries" = "Varnow.exe Varnow.html README.txt LICENSE.txt" ] || fail "entries: $entries"
}

zip_step_gives_the_same_bytes_again() {
  local again=$out/again.zip
  python3 "$root/scripts/package-zip.py" "$out/stage" "$again" || fail "zip step failed"
  cmp -s "$zip" "$again" || fail "a second zip of the same files differs"
  rm -f "$again"
}

# --- The installer, in a prefix of its own ------------------------------------

export VARNOW_BUILD_DIR=$root/build/package-test
rm -rf "$VARNOW_BUILD_DIR"
mkdir -p "$VARNOW_BUILD_DIR"
source "$root/scripts/wine-env.sh"
# Start-menu shortcuts would otherwise become menu entries of this machine.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
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
run_installer() { wine "$setup" /S "$@" >>"$VARNOW_WINE_LOG" 2>&1; }
installed_files() { (cd "$install_dir" && sha256sum Varnow.exe Varnow.html LICENSE.txt Uninstall.exe); }
gone() { [ ! -e "$1" ]; }
capture_is() { [ "$(cat "$capture")" = "$1" ]; }

# Given on the first installation, kept by the upgrade. (Wine quotes an
# argument with a blank whole, which is not how a Windows user writes
# /OUTPUT="a b", so these have none.)
first_folder='C:\Varnow\ジョブ受付'
first_output='ラベルプリンター'

first_install_puts_files_shortcuts_and_uninstall_entry() {
  run_installer "/FOLDER=$first_folder" "/OUTPUT=$first_output" || fail "installer exit code $?"
  local name
  for name in Varnow.exe Varnow.html LICENSE.txt; do
    cmp -s "$stage/$name" "$install_dir/$name" || fail "$name not installed"
  done
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

upgrade_keeps_settings_and_adds_autostart() {
  kill "$varnow_pid" && wait "$varnow_pid" 2>/dev/null
  varnow_pid=""
  local folder output
  folder=$(reg_value "$settings_key" Findpos)
  output=$(reg_value "$settings_key" Output)
  run_installer /AUTOSTART=1 '/FOLDER=C:\Other' /OUTPUT=LPT2 || fail "installer exit code $?"
  cmp -s "$stage/Varnow.exe" "$install_dir/Varnow.exe" || fail "Varnow.exe not in place"
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

run_test zip_lists_its_entries_in_order
run_test zip_step_gives_the_same_bytes_again

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
run_test upgrade_keeps_settings_and_adds_autostart
run_test uninstall_removes_everything_but_the_settings

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
