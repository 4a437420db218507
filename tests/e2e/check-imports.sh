#!/usr/bin/env bash
# The programs need no DLL beside the system's: every DLL they import must be
# one that every Windows has.
#   check-imports.sh OBJDUMP FILE...
set -euo pipefail
objdump=${1:?} status=0
shift
[ $# -gt 0 ] || { echo "usage: check-imports.sh OBJDUMP FILE..." >&2; exit 2; }
for file in "$@"; do
    dlls=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || { echo "no imports found in $file" >&2; exit 1; }
    while read -r dll; do
        case ${dll,,} in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | comctl32.dll | comdlg32.dll | ole32.dll | uxtheme.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
        *)
            echo "$file imports $dll, which is no system DLL" >&2
            status=1
            ;;
        esac
    done <<<"$dlls"
    echo "$(basename "$file") imports: $(tr '\n' ' ' <<<"$dlls")"
done
exit $status
