# Sourced by the scripts that choose which Windows build to run under Wine.
#
# Some machines run no 32-bit Linux programs at all (a kernel without IA32
# emulation): Wine's 32-bit loader then fails with "Exec format error", and
# only 64-bit Windows programs can run, through the 64-bit loader directly.
wine_runs_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}
