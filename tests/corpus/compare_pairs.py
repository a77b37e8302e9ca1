#!/usr/bin/python3
"""usage: compare_pairs.py PAIRS CSV

PAIRS holds NNNN.before.xls, NNNN.after.xls and index.tsv (NNNN, outcome, corpus path,
written cells as row:col=text, 1-based); CSV the LibreOffice exports NNNN.before.csv and
NNNN.after.csv of the first sheets. For each reader: a file it read before must still
read, the written cells must hold their texts, and every other first-sheet cell must be
unchanged. Prints counts; exits 1 on any difference."""
import csv
import os
import sys

import xlrd

pairs_dir, csv_dir = sys.argv[1:3]
MAX_REPORT = 5
# Files where a reader rightly shows something else in the cells we wrote.
LO_SHOWS_OTHER = {
    # A pivot table covers D..F of the first sheet; LibreOffice redraws it from the pivot cache.
    "sheetjs_test_files/pivot_table_named_range.xls",
}


def parse_written(field):
    cells = {}
    for item in field.split(" ") if field else []:
        at, text = item.split("=", 1)
        r, c = at.split(":")
        cells[(int(r) - 1, int(c) - 1)] = text
    return cells


def xlrd_grid(path):
    with open(os.devnull, "w") as quiet:
        book = xlrd.open_workbook(path, logfile=quiet, on_demand=True)
        sheet = book.sheet_by_index(0)
        grid = {}
        for r in range(sheet.nrows):
            for c, cell in enumerate(sheet.row(r)):
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                value = cell.value
                if isinstance(value, float) and value != value:
                    value = "NaN"  # NaN never equals itself
                grid[(r, c)] = (cell.ctype, value)
        return grid


def csv_grid(path):
    grid = {}
    with open(path, encoding="utf-8", errors="replace", newline="") as f:
        for r, row in enumerate(csv.reader(f)):
            for c, value in enumerate(row):
                if value != "":
                    grid[(r, c)] = value
    return grid


def compare(before, after, written, recalculated):
    """Differences between two grids, written cells excepted, and written cells that are wrong.
    With `recalculated` (LibreOffice recomputes formulas on load, and a formula may use a cell
    we wrote, so any shown value may change) other cells are only noted: xlrd, which reads the
    stored values, holds them to equality."""
    diffs, notes = [], []
    for key in sorted(set(before) | set(after)):
        if key in written:
            continue
        if before.get(key) != after.get(key):
            text = "R%dC%d %r -> %r" % (key[0] + 1, key[1] + 1, before.get(key), after.get(key))
            (notes if recalculated else diffs).append(text)
    for key, text in sorted(written.items()):
        got = after.get(key)
        # LibreOffice shows text through the cell's format, which may pad it.
        got = got.strip() if recalculated and got else (got[1] if got and got[0] == xlrd.XL_CELL_TEXT else got)
        if (got or "") != text:
            diffs.append("R%dC%d should read %r, reads %r" % (key[0] + 1, key[1] + 1, text, got))
    return diffs, notes


failures = 0
counts = {"pairs": 0, "xlrd ok": 0, "xlrd unreadable before": 0, "lo ok": 0, "lo unreadable before": 0, "lo other cells changed": 0}
for line in open(os.path.join(pairs_dir, "index.tsv"), encoding="utf-8"):
    ident, outcome, name, written_field = (line.rstrip("\n").split("\t") + [""])[:4]
    written = parse_written(written_field)
    counts["pairs"] += 1
    before_xls = os.path.join(pairs_dir, ident + ".before.xls")
    after_xls = os.path.join(pairs_dir, ident + ".after.xls")

    try:
        before = xlrd_grid(before_xls)
    except Exception:  # noqa: BLE001 - xlrd could not read the original: nothing to hold us to
        counts["xlrd unreadable before"] += 1
    else:
        try:
            diffs, _ = compare(before, xlrd_grid(after_xls), written, False)
        except Exception as e:  # noqa: BLE001
            diffs = ["xlrd read the original but not our copy: %s" % e]
        if diffs:
            failures += 1
            print("xlrd %s (%s): %s" % (name, outcome, "; ".join(diffs[:MAX_REPORT])))
        else:
            counts["xlrd ok"] += 1

    before_csv = os.path.join(csv_dir, ident + ".before.csv")
    after_csv = os.path.join(csv_dir, ident + ".after.csv")
    if not os.path.exists(before_csv):
        counts["lo unreadable before"] += 1
    elif not os.path.exists(after_csv):
        failures += 1
        print("LibreOffice %s: read the original but not our copy" % name)
    else:
        before_grid, after_grid = csv_grid(before_csv), csv_grid(after_csv)
        diffs, notes = compare(before_grid, after_grid, written if name not in LO_SHOWS_OTHER else {}, True)
        if before_grid and not after_grid:
            diffs.append("the first sheet was shown before and is empty now")
        if notes:
            counts["lo other cells changed"] += 1
            print("note: LibreOffice %s: values changed (formulas recalculated): %s" % (name, "; ".join(notes[:2])))
        if diffs:
            failures += 1
            print("LibreOffice %s (%s): %s" % (name, outcome, "; ".join(diffs[:MAX_REPORT])))
        else:
            counts["lo ok"] += 1

print(", ".join("%s: %d" % kv for kv in counts.items()))
print("%d pairs with differences" % failures)
sys.exit(1 if failures else 0)
