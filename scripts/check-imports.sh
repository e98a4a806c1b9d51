#!/usr/bin/env bash
# Fails when the executable imports a DLL outside the system's own set.
set -euo pipefail
objdump=$1; exe=$2
# DLL names are case-insensitive, and the import libraries spell them either way.
shopt -s nocasematch
# The spooler's client is a .drv, though it is a DLL like the others.
allowed='^((KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|COMCTL32|COMDLG32|OLE32|VERSION|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll|WINSPOOL\.DRV)$'
status=0
while read -r dll; do
  if ! [[ $dll =~ $allowed ]]; then echo "unexpected import: $dll"; status=1; fi
done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ $status -eq 0 ] && echo "imports ok: $("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
exit $status
