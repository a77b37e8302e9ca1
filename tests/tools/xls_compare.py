#!/usr/bin/python3
"""usage: xls_compare.py BEFORE AFTER [--expect EXPECTED.tsv] [--rows FIRST-LAST] [--any-def-format]

Reads both workbooks with xlrd (formatting_info=True when the file allows it) and checks that
filling the roster changed nothing but D..F of the data rows on the first sheet:
  - every sheet: same names, order and visibility; every cell outside those D..F cells has the same
    type, value and format (font, number format, borders, alignment, fill, protection); same merged
    ranges, column widths and row heights;
  - the data rows' D..F are text cells; a cell that existed before keeps its format, a new one gets
    the row's default format (when set), else the column's, else XF 15 (skip with --any-def-format);
  - with --expect (lines: sheet-row<TAB>D<TAB>E<TAB>F, rows 1-based) D..F equal those texts exactly,
    and every data row has a line;
  - without --expect: E is D without its last two characters, F is D's last two, room texts have two
    digits below room 100, and (room-1)*30+seat over all data rows is exactly 1..N.
Data rows: --rows (1-based, inclusive) or rows 3.. of BEFORE up to the first empty (trimmed) A.
Exit 0 when everything holds, 1 on differences, 2 when a file cannot be read.
"""
import argparse
import os
import sys

import xlrd

DEF_COLS = (3, 4, 5)
MAX_REPORT = 25
SEAT_COUNT = 30


def col_name(c):
    s = ""
    c += 1
    while c:
        c, m = divmod(c - 1, 26)
        s = chr(65 + m) + s
    return s


def addr(r, c):
    return "%s%d" % (col_name(c), r + 1)


TYPE_NAMES = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
              xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_BOOLEAN: "boolean", xlrd.XL_CELL_ERROR: "error",
              xlrd.XL_CELL_BLANK: "blank"}


def open_book(path, formatting):
    with open(os.devnull, "w") as quiet:  # xlrd logs warnings such as a missing CODEPAGE to stdout
        return xlrd.open_workbook(path, formatting_info=formatting, logfile=quiet)


def open_pair(before, after):
    """Both books with formatting when both allow it, else both without (the caller says so)."""
    try:
        return open_book(before, True), open_book(after, True), True
    except Exception:  # noqa: BLE001 - any failure: retry without formatting for a clear message
        pass
    books = []
    for path in (before, after):
        try:
            books.append(open_book(path, False))
        except Exception as e:  # noqa: BLE001
            print("xls_compare: cannot read %s: %s" % (path, e), file=sys.stderr)
            sys.exit(2)
    return books[0], books[1], False


def xf_format(book, xf_index):
    """Everything an XF makes visible, by value, so equal formats compare equal across books."""
    if xf_index is None or xf_index >= len(book.xf_list):
        return None
    xf = book.xf_list[xf_index]
    f = book.font_list[xf.font_index] if xf.font_index < len(book.font_list) else None
    fmt = book.format_map.get(xf.format_key)
    b, a, bg, p = xf.border, xf.alignment, xf.background, xf.protection
    return {
        "font": None if f is None else (f.name, f.height, f.weight, f.bold, f.italic, f.underline_type,
                                        f.struck_out, f.colour_index, f.escapement, f.family),
        "number format": fmt.format_str if fmt else None,
        "borders": (b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style,
                    b.diag_line_style, b.left_colour_index, b.right_colour_index, b.top_colour_index,
                    b.bottom_colour_index, b.diag_colour_index, b.diag_down, b.diag_up),
        "alignment": (a.hor_align, a.vert_align, a.rotation, a.text_wrapped, a.indent_level,
                      a.shrink_to_fit, a.text_direction),
        "fill": (bg.fill_pattern, bg.pattern_colour_index, bg.background_colour_index),
        "protection": (p.cell_locked, p.formula_hidden),
    }


def format_diff(fb, fa):
    if fb == fa:
        return None
    if fb is None or fa is None:
        return "format %r -> %r" % (fb, fa)
    keys = [k for k in fb if fb[k] != fa[k]]
    return "; ".join("%s %r -> %r" % (k, fb[k], fa[k]) for k in keys)


def cell(sheet, r, c):
    if r < sheet.nrows and c < sheet.ncols:
        x = sheet.cell(r, c)
        return x.ctype, x.value, x.xf_index
    return xlrd.XL_CELL_EMPTY, "", None


def show(ctype, value):
    if ctype == xlrd.XL_CELL_ERROR:
        value = xlrd.error_text_from_code.get(value, value)
    return "%s %r" % (TYPE_NAMES.get(ctype, ctype), value)


CONTROL_AND_SPACE = "".join(chr(c) for c in range(33))


def a_is_empty(sheet, r):
    if r >= sheet.nrows or sheet.ncols == 0:
        return True
    ctype, value, _ = cell(sheet, r, 0)
    if ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return True
    # Only characters up to U+0020 are trimmed; a full-width space is a code.
    return ctype == xlrd.XL_CELL_TEXT and value.strip(CONTROL_AND_SPACE) == ""


def find_data_rows(sheet):
    rows = []
    r = 2
    while not a_is_empty(sheet, r):
        rows.append(r)
        r += 1
    return rows


def parse_rows(text):
    try:
        first, last = (int(x) for x in text.split("-", 1))
    except ValueError:
        raise argparse.ArgumentTypeError("--rows wants FIRST-LAST, e.g. 3-42")
    if first < 1 or last < first:
        raise argparse.ArgumentTypeError("--rows %s: need 1 <= FIRST <= LAST" % text)
    return list(range(first - 1, last))


def read_expect(path):
    exp = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 4 or not parts[0].isdigit() or int(parts[0]) < 1:
                print("xls_compare: %s line %d: want row<TAB>D<TAB>E<TAB>F, got %r" % (path, n, line),
                      file=sys.stderr)
                sys.exit(2)
            r = int(parts[0]) - 1
            if r in exp:
                print("xls_compare: %s line %d: row %s listed twice" % (path, n, parts[0]), file=sys.stderr)
                sys.exit(2)
            exp[r] = tuple(parts[1:])
    return exp


class Report:
    def __init__(self):
        self.problems = []

    def add(self, msg):
        self.problems.append(msg)


def compare_sheet_layout(rep, name, sb, sa, formatting):
    if not formatting:
        return
    if sorted(sb.merged_cells) != sorted(sa.merged_cells):
        rep.add("%s: merged ranges %s -> %s" % (name, sorted(sb.merged_cells), sorted(sa.merged_cells)))
    for c in sorted(set(sb.colinfo_map) | set(sa.colinfo_map)):
        cb, ca = sb.colinfo_map.get(c), sa.colinfo_map.get(c)
        kb = cb and (cb.width, cb.hidden, cb.outline_level, cb.collapsed)
        ka = ca and (ca.width, ca.hidden, ca.outline_level, ca.collapsed)
        if kb != ka:
            rep.add("%s: column %s width/hidden/outline %r -> %r" % (name, col_name(c), kb, ka))
    for r in sorted(sb.rowinfo_map):
        rb, ra = sb.rowinfo_map[r], sa.rowinfo_map.get(r)
        kb = (rb.height, rb.has_default_height, rb.hidden, rb.outline_level, rb.height_mismatch,
              rb.has_default_xf_index, rb.xf_index if rb.has_default_xf_index else None)
        ka = ra and (ra.height, ra.has_default_height, ra.hidden, ra.outline_level, ra.height_mismatch,
                     ra.has_default_xf_index, ra.xf_index if ra.has_default_xf_index else None)
        if kb != ka:
            rep.add("%s: row %d height/flags %r -> %r" % (name, r + 1, kb, ka))
    for key in ("visibility", "default_width", "standardwidth", "gridline_colour_index"):
        vb, va = getattr(sb, key, None), getattr(sa, key, None)
        if vb != va:
            rep.add("%s: %s %r -> %r" % (name, key, vb, va))


def new_cell_xf(sheet, r, c):
    ri = sheet.rowinfo_map.get(r)
    if ri is not None and ri.has_default_xf_index:
        return ri.xf_index
    ci = sheet.colinfo_map.get(c)
    if ci is not None:
        return ci.xf_index
    return 15


def compare(args):
    bb, ba, formatting = open_pair(args.before, args.after)
    rep = Report()
    if not formatting:
        print("xls_compare: note: formats not compared (xlrd cannot read them from these files)")
    names_b, names_a = bb.sheet_names(), ba.sheet_names()
    if names_b != names_a:
        rep.add("sheets %r -> %r" % (names_b, names_a))
    if bb.datemode != ba.datemode:
        rep.add("date system %d -> %d" % (bb.datemode, ba.datemode))
    nb = [(n.name, n.scope, n.hidden, n.raw_formula) for n in bb.name_obj_list]
    na = [(n.name, n.scope, n.hidden, n.raw_formula) for n in ba.name_obj_list]
    if nb != na:
        rep.add("defined names differ: %r -> %r" % (nb, na))
    if bb.nsheets == 0 or names_b != names_a:
        return finish(rep, args, None)

    first = bb.sheet_by_index(0)
    data_rows = args.rows if args.rows is not None else find_data_rows(first)
    data_set = set(data_rows)
    if not data_rows:
        rep.add("%s: no data rows (A3 is empty)" % names_b[0])
    expect = read_expect(args.expect) if args.expect else None
    if expect is not None:
        for r in sorted(set(expect) - data_set):
            rep.add("expected texts for row %d, which is not a data row (data rows %s)"
                    % (r + 1, span(data_rows)))
        for r in sorted(data_set - set(expect)):
            rep.add("data row %d has no line in %s" % (r + 1, args.expect))

    for k in range(bb.nsheets):
        sb, sa = bb.sheet_by_index(k), ba.sheet_by_index(k)
        name = names_b[k]
        compare_sheet_layout(rep, name, sb, sa, formatting)
        width = max(sb.ncols, sa.ncols, DEF_COLS[-1] + 1 if k == 0 else 0)
        for r in range(max(sb.nrows, sa.nrows)):
            for c in range(width):
                tb, vb, xb = cell(sb, r, c)
                ta, va, xa = cell(sa, r, c)
                if k == 0 and r in data_set and c in DEF_COLS:
                    check_def_cell(rep, name, bb, ba, sb, sa, r, c, (tb, xb), (ta, va, xa), formatting, args)
                    continue
                if (tb, vb) != (ta, va):
                    rep.add("%s!%s: %s -> %s" % (name, addr(r, c), show(tb, vb), show(ta, va)))
                elif formatting and tb != xlrd.XL_CELL_EMPTY:
                    d = format_diff(xf_format(bb, xb), xf_format(ba, xa))
                    if d:
                        rep.add("%s!%s: %s" % (name, addr(r, c), d))

    sa0 = ba.sheet_by_index(0)
    texts = {}
    for r in data_rows:
        row = tuple(cell(sa0, r, c) for c in DEF_COLS)
        if all(t == xlrd.XL_CELL_TEXT for t, _, _ in row):
            texts[r] = tuple(v for _, v, _ in row)
    if expect is not None:
        for r in sorted(set(expect) & set(texts)):
            if texts[r] != expect[r]:
                rep.add("%s row %d: D..F %r, expected %r" % (names_b[0], r + 1, texts[r], expect[r]))
    elif len(texts) == len(data_rows):
        check_invariants(rep, names_b[0], texts)
    return finish(rep, args, data_rows, formatting)


def check_def_cell(rep, name, bb, ba, sb, sa, r, c, before, after, formatting, args):
    tb, xb = before
    ta, va, xa = after
    if ta != xlrd.XL_CELL_TEXT:
        rep.add("%s!%s: must be a text cell, is %s" % (name, addr(r, c), show(ta, va)))
        return
    if not formatting or args.any_def_format:
        return
    if tb == xlrd.XL_CELL_EMPTY:
        want, why = xf_format(ba, new_cell_xf(sa, r, c)), "the row's/column's default format (new cell)"
    else:
        want, why = xf_format(bb, xb), "the format of the cell it replaced"
    d = format_diff(want, xf_format(ba, xa))
    if d:
        rep.add("%s!%s: format differs from %s: %s" % (name, addr(r, c), why, d))


def check_invariants(rep, name, texts):
    numbers = {}
    for r in sorted(texts):
        d, e, f = texts[r]
        where = "%s row %d (%r, %r, %r)" % (name, r + 1, d, e, f)
        if not (d.isascii() and d.isdigit() and len(d) >= 4):
            rep.add("%s: D is not a number text of 4+ digits" % where)
            continue
        if e != d[:-2] or f != d[-2:]:
            rep.add("%s: E must be D without its last two characters and F D's last two" % where)
            continue
        room, seat = int(e), int(f)
        if not 1 <= seat <= SEAT_COUNT:
            rep.add("%s: seat %d outside 01..%02d" % (where, seat, SEAT_COUNT))
            continue
        if room < 1 or len(e) != max(2, len(str(room))):
            rep.add("%s: room text %r is not the room number with at least two digits" % (where, e))
            continue
        numbers.setdefault((room - 1) * SEAT_COUNT + seat, []).append(r + 1)
    n = len(texts)
    dup = {k: v for k, v in numbers.items() if len(v) > 1}
    for k, rows in sorted(dup.items())[:MAX_REPORT]:
        rep.add("%s: exam number %d given to rows %s" % (name, k, rows))
    missing = [k for k in range(1, n + 1) if k not in numbers]
    extra = sorted(k for k in numbers if k > n)
    if missing:
        rep.add("%s: running numbers 1..%d miss %s" % (name, n, short(missing)))
    if extra:
        rep.add("%s: running numbers beyond %d: %s" % (name, n, short(extra)))


def short(xs):
    return ", ".join(map(str, xs[:20])) + (" …" if len(xs) > 20 else "")


def span(rows):
    return "%d-%d" % (rows[0] + 1, rows[-1] + 1) if rows else "none"


def finish(rep, args, data_rows, formatting=False):
    if rep.problems:
        print("xls_compare: %s -> %s: %d difference(s)" % (args.before, args.after, len(rep.problems)),
              file=sys.stderr)
        for p in rep.problems[:MAX_REPORT]:
            print("  " + p, file=sys.stderr)
        if len(rep.problems) > MAX_REPORT:
            print("  … and %d more" % (len(rep.problems) - MAX_REPORT), file=sys.stderr)
        return 1
    print("xls_compare: OK, data rows %s%s%s" % (span(data_rows or []),
          ", formats compared" if formatting else "",
          ", matches %s" % args.expect if args.expect else ", numbering invariants hold"))
    return 0


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("before")
    p.add_argument("after")
    p.add_argument("--expect")
    p.add_argument("--rows", type=parse_rows)
    p.add_argument("--any-def-format", action="store_true",
                   help="do not check the formats of the written D..F cells")
    sys.exit(compare(p.parse_args()))


if __name__ == "__main__":
    main()
