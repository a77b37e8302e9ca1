#!/bin/bash
# usage: check_output.sh BEFORE AFTER [EXPECTED.tsv]
# Runs the three independent-reader checks on a workbook before and after Zembrix filled it:
# xls_compare.py (xlrd), lo_compare.sh (LibreOffice), gsf_compare.sh (libgsf); says which failed.
# Exit 0 when all pass, 1 when any fails.
set -u
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    sed -n '2p' "$0" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
failed=()
if [ $# -eq 3 ]; then
    /usr/bin/python3 "$here/xls_compare.py" "$1" "$2" --expect "$3" || failed+=(xls_compare)
else
    /usr/bin/python3 "$here/xls_compare.py" "$1" "$2" || failed+=(xls_compare)
fi
"$here/lo_compare.sh" "$@" || failed+=(lo_compare)
"$here/gsf_compare.sh" "$1" "$2" || failed+=(gsf_compare)
if [ ${#failed[@]} -ne 0 ]; then
    echo "check_output: FAILED: ${failed[*]} ($1 -> $2)" >&2
    exit 1
fi
echo "check_output: all three readers agree ($1 -> $2)"
