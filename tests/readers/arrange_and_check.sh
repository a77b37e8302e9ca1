#!/bin/bash
# usage: arrange_and_check.sh ZEMBRIX-CLI WORKBOOK.xls
# Arranges a copy of the workbook in place with zembrix-cli, then has xlrd,
# LibreOffice and libgsf check that only D..F of the candidate rows changed.
set -u
cli=$1
original=$2
here=$(cd "$(dirname "$0")/../tools" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy="$work/$(basename "$original")"
cp "$original" "$copy"
"$cli" arrange "$copy" || { echo "zembrix-cli arrange failed"; exit 1; }
# Arranging again writes the same values, so the file must come back identical.
cp "$copy" "$work/first.xls"
"$cli" arrange "$copy" >/dev/null || { echo "second arrangement failed"; exit 1; }
cmp "$copy" "$work/first.xls" || { echo "a second arrangement changed the file"; exit 1; }
exec "$here/check_output.sh" "$original" "$copy"
