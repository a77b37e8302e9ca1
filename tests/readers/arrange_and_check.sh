#!/bin/bash
# usage: arrange_and_check.sh ZEMBRIX-CLI WORKBOOK.xls [--no-recalc]
# Arranges a copy of the workbook in place with zembrix-cli, then has xlrd,
# LibreOffice and libgsf check that only D..F of the candidate rows changed.
# --no-recalc leaves LibreOffice out: it recalculates formulas on loading, and
# a workbook whose formulas read D..F shows new results, as it should.
set -u
cli=$1
original=$2
tools=$(cd "$(dirname "$0")/../tools" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy="$work/$(basename "$original")"
cp "$original" "$copy"
"$cli" arrange "$copy" || { echo "zembrix-cli arrange failed"; exit 1; }
# Arranging again writes the same values, so the file must come back identical.
cp "$copy" "$work/first.xls"
"$cli" arrange "$copy" >/dev/null || { echo "second arrangement failed"; exit 1; }
cmp "$copy" "$work/first.xls" || { echo "a second arrangement changed the file"; exit 1; }
if [ "${3:-}" = "--no-recalc" ]; then
  /usr/bin/python3 "$tools/xls_compare.py" "$original" "$copy" && "$tools/gsf_compare.sh" "$original" "$copy"
  exit $?
fi
exec "$tools/check_output.sh" "$original" "$copy"
