#!/bin/bash
# usage: lo_compare.sh BEFORE AFTER [EXPECTED.tsv]
# LibreOffice as an independent reader: converts every sheet of both workbooks to UTF-8 CSV (values
# as shown) in one headless call, then checks that only D..F of the first sheet's data rows (rows
# 3.. up to the first empty A of BEFORE) differ. With EXPECTED.tsv (row<TAB>D<TAB>E<TAB>F, rows
# 1-based) D..F must equal it for every data row; without it, D must be E followed by F.
# Exit 0 when everything holds, 1 on differences, 2 when LibreOffice cannot convert a file.
set -u
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    sed -n '2p' "$0" >&2
    exit 2
fi
for f in "$1" "$2" ${3:+"$3"}; do
    [ -r "$f" ] || { echo "lo_compare: cannot read $f" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/home" "$work/out"
cp -- "$1" "$work/before.xls"
cp -- "$2" "$work/after.xls"
# 44 comma, 34 quote, 76 UTF-8, from line 1, values as shown, -1 = every sheet to its own file
filter='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1'
if ! HOME="$work/home" timeout 120 soffice --headless --convert-to "$filter" --outdir "$work/out" \
        "$work/before.xls" "$work/after.xls" >"$work/log" 2>&1; then
    echo "lo_compare: LibreOffice failed or timed out:" >&2
    cat "$work/log" >&2
    exit 2
fi

/usr/bin/python3 - "$work/log" "$1" "$2" "${3:-}" <<'EOF'
import csv
import re
import sys

log, before_name, after_name, expect_path = sys.argv[1:5]
DEF = (3, 4, 5)

# LibreOffice logs "Writing sheet NAME -> PATH" in sheet order; before.xls is converted first
sheets = {"before": [], "after": []}
current = None
for line in open(log, encoding="utf-8", errors="replace"):
    m = re.match(r"convert .*/(before|after)\.xls", line)
    if m:
        current = m.group(1)
    m = re.match(r"Writing sheet (.*) -> (.*\.csv)\s*$", line)
    if m and current:
        sheets[current].append((m.group(1), m.group(2)))
for side, name in (("before", before_name), ("after", after_name)):
    if not sheets[side]:
        print("lo_compare: LibreOffice wrote no CSV for %s:\n%s" % (name, open(log).read()), file=sys.stderr)
        sys.exit(2)


def load(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.reader(f))


def get(rows, r, c):
    return rows[r][c] if r < len(rows) and c < len(rows[r]) else ""


def colname(c):
    return chr(65 + c) if c < 26 else chr(64 + c // 26) + chr(65 + c % 26)


problems = []
names_b = [n for n, _ in sheets["before"]]
names_a = [n for n, _ in sheets["after"]]
if names_b != names_a:
    problems.append("sheets %r -> %r" % (names_b, names_a))
    sheets["after"] = []

data_rows = []
for k, ((name, pb), (_, pa)) in enumerate(zip(sheets["before"], sheets["after"])):
    b, a = load(pb), load(pa)
    if k == 0:
        r = 2
        while get(b, r, 0).strip("".join(chr(c) for c in range(33))):
            data_rows.append(r)
            r += 1
        if not data_rows:
            problems.append("%s: no data rows (A3 is empty)" % name)
    skip = set(data_rows) if k == 0 else set()
    width = max([len(x) for x in b + a] or [0])
    for r in range(max(len(b), len(a))):
        for c in range(width):
            if r in skip and c in DEF:
                continue
            vb, va = get(b, r, c), get(a, r, c)
            if vb != va:
                problems.append("%s!%s%d: %r -> %r" % (name, colname(c), r + 1, vb, va))
    if k == 0:
        first = a

if sheets["after"]:
    expect = {}
    if expect_path:
        for n, line in enumerate(open(expect_path, encoding="utf-8"), 1):
            line = line.rstrip("\r\n")
            if line and not line.startswith("#"):
                parts = line.split("\t")
                if len(parts) != 4 or not parts[0].isdigit():
                    print("lo_compare: %s line %d: want row<TAB>D<TAB>E<TAB>F" % (expect_path, n), file=sys.stderr)
                    sys.exit(2)
                expect[int(parts[0]) - 1] = tuple(parts[1:])
        for r in sorted(set(expect) - set(data_rows)):
            problems.append("expected texts for row %d, which is not a data row" % (r + 1))
    for r in data_rows:
        got = tuple(get(first, r, c) for c in DEF)
        if expect_path:
            if r not in expect:
                problems.append("data row %d has no line in %s" % (r + 1, expect_path))
            elif got != expect[r]:
                problems.append("row %d: D..F %r, expected %r" % (r + 1, got, expect[r]))
        elif not (got[0] and got[1] and len(got[2]) == 2 and got[0] == got[1] + got[2]):
            problems.append("row %d: D..F %r: D must be E followed by the two-character F" % (r + 1, got))

if problems:
    print("lo_compare: %s -> %s: %d difference(s)" % (before_name, after_name, len(problems)), file=sys.stderr)
    for p in problems[:25]:
        print("  " + p, file=sys.stderr)
    if len(problems) > 25:
        print("  … and %d more" % (len(problems) - 25), file=sys.stderr)
    sys.exit(1)
span = "%d-%d" % (data_rows[0] + 1, data_rows[-1] + 1)
print("lo_compare: OK, %d sheet(s), data rows %s%s" % (len(names_b), span,
      ", matches " + expect_path if expect_path else ""))
EOF
