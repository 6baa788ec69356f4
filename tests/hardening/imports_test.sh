#!/usr/bin/env bash
# The installer imports only DLLs that Windows always loads from the system directory (KnownDLLs), so no
# DLL planted in the folder it was downloaded to is loaded before WinMain can restrict the search.
#
#   imports_test.sh OBJDUMP INSTALLER_EXE
set -euo pipefail
objdump=$1 exe=$2
allowed="advapi32 comdlg32 gdi32 imagehlp kernel32 msvcrt ntdll ole32 oleaut32 psapi rpcrt4 setupapi shell32 shlwapi user32 ws2_32"

# Normal and delayed imports both list their DLLs as "DLL Name: x.dll".
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' | sort -u)
[ -n "$imports" ] || { echo "FAIL no import table read from $exe"; exit 1; }
echo "imports: $(echo $imports)"
failures=0
for dll in $imports; do
  case " $allowed " in
    *" $dll "*) ;;
    *) echo "FAIL $dll.dll is not a KnownDLL: Windows would look for it next to the installer first"; failures=$((failures + 1)) ;;
  esac
done
[ "$failures" = 0 ]
