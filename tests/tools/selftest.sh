#!/bin/bash
# usage: selftest.sh
# Shows that each independent-reader check passes a correct fill and catches what it should:
# a changed cell, a changed format, wrong D..F texts, a number in D, an altered other stream.
# Exit 0 when every case behaves, 1 otherwise, 77 (skip) when soffice, gsf or xlrd/xlwt are absent.
set -u
export PYTHONDONTWRITEBYTECODE=1
here=$(cd "$(dirname "$0")" && pwd)
for tool in soffice gsf; do
    command -v $tool >/dev/null || { echo "selftest: $tool not installed, skipping"; exit 77; }
done
/usr/bin/python3 -c 'import xlrd, xlwt' 2>/dev/null || { echo "selftest: python3-xlrd/xlwt missing, skipping"; exit 77; }

w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT INT TERM
/usr/bin/python3 "$here/make_pairs.py" "$w" || exit 1

bad=0
# case WANT_RC COMMAND...: the command must exit with WANT_RC
case_() {
    local want=$1; shift
    "$@" >"$w/out" 2>&1
    local rc=$? what
    if [ "$1" = /usr/bin/python3 ]; then what="$(basename "$2") ${*:3}"; else what="$(basename "$1") ${*:2}"; fi
    what=${what//$w\//}
    if [ $rc -ne "$want" ]; then
        echo "selftest: FAIL: $what: exit $rc, want $want"
        sed 's/^/    /' "$w/out"
        bad=1
    else
        echo "selftest: ok   $what: exit $rc"
    fi
}
X=("/usr/bin/python3" "$here/xls_compare.py")
L=("$here/lo_compare.sh")
G=("$here/gsf_compare.sh")

# a correct fill, and an identical filled pair, pass everywhere
case_ 0 "${X[@]}" "$w/before.xls" "$w/good.xls"
case_ 0 "${X[@]}" "$w/before.xls" "$w/good.xls" --expect "$w/expect.tsv"
case_ 0 "${X[@]}" "$w/before.xls" "$w/good.xls" --rows 3-42
case_ 0 "${X[@]}" "$w/good.xls" "$w/good.xls"
case_ 0 "${G[@]}" "$w/lo_before.xls" "$w/lo_before.xls"
case_ 0 "$here/check_output.sh" "$w/before.xls" "$w/good.xls" "$w/expect.tsv"
# left unfilled
case_ 1 "${X[@]}" "$w/before.xls" "$w/before.xls"
# a changed cell outside D..F
case_ 1 "${X[@]}" "$w/before.xls" "$w/changed_cell.xls"
case_ 1 "${L[@]}" "$w/before.xls" "$w/changed_cell.xls"
# a changed format: only the formatting-aware reader sees it
case_ 1 "${X[@]}" "$w/before.xls" "$w/changed_fmt.xls"
case_ 0 "${L[@]}" "$w/before.xls" "$w/changed_fmt.xls"
# wrong D..F texts: a swap is a valid numbering, so only --expect catches it
case_ 0 "${X[@]}" "$w/before.xls" "$w/swapped.xls"
case_ 1 "${X[@]}" "$w/before.xls" "$w/swapped.xls" --expect "$w/expect.tsv"
case_ 1 "${L[@]}" "$w/before.xls" "$w/swapped.xls" "$w/expect.tsv"
case_ 1 "${X[@]}" "$w/before.xls" "$w/duplicate.xls"
case_ 1 "${X[@]}" "$w/before.xls" "$w/split_wrong.xls"
case_ 1 "${L[@]}" "$w/before.xls" "$w/split_wrong.xls"
# a number where text belongs
case_ 1 "${X[@]}" "$w/before.xls" "$w/number_in_d.xls"
case_ 1 "${X[@]}" "$w/before.xls" "$w/number_in_d.xls" --expect "$w/expect.tsv"
case_ 1 "${L[@]}" "$w/before.xls" "$w/number_in_d.xls" "$w/expect.tsv"
# another stream altered
case_ 1 "${G[@]}" "$w/lo_before.xls" "$w/lo_other_stream.xls"
case_ 1 "$here/check_output.sh" "$w/before.xls" "$w/swapped.xls" "$w/expect.tsv"
# files that are not workbooks are refused with rc 2, not a crash
case_ 2 "${X[@]}" "$w/before.xls" "$here/../fixtures/not_xls_html.xls"
case_ 2 "${G[@]}" "$w/before.xls" "$here/../fixtures/not_xls_csv.xls"

if [ $bad -ne 0 ]; then
    echo "selftest: some checks did not behave (above)"
    exit 1
fi
echo "selftest: all cases behave"
