#!/usr/bin/env bash
# Nimbrel.scr needs no DLL beside the system's: every DLL it imports must be
# one that every Windows has.
#   check-imports.sh OBJDUMP FILE
set -euo pipefail
objdump=${1:?} file=${2:?}
dlls=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "no imports found in $file" >&2; exit 1; }
status=0
while read -r dll; do
    case ${dll,,} in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | comctl32.dll | comdlg32.dll | ole32.dll | uxtheme.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *)
        echo "$file imports $dll, which is no system DLL" >&2
        status=1
        ;;
    esac
done <<<"$dlls"
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
exit $status
