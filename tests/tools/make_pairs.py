#!/usr/bin/python3
"""usage: make_pairs.py OUTDIR

Writes before/after pairs for selftest.sh, each AFTER differing from a correct fill in one way:
  before.xls        roster_xlwt.xls as xlwt writes it (D..F blank)
  good.xls          D..F filled in row order, expect.tsv holding those texts
  changed_cell.xls  good, but the name in B7 differs
  changed_fmt.xls   good, but A3 is bold
  swapped.xls       good, but rows 5 and 6 swapped their D..F (still a valid numbering)
  duplicate.xls     good, but row 6 repeats row 5's texts
  split_wrong.xls   good, but F of row 8 does not match D
  number_in_d.xls   good, but D9 is the number 107
  lo_before.xls / lo_other_stream.xls  the LibreOffice roster, and a copy whose
                    SummaryInformation stream has one byte changed
"""
import os
import shutil
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures")
sys.path.insert(0, os.path.join(fixtures, "src"))
import gen  # noqa: E402
import xlwt  # noqa: E402


def main(out):
    os.makedirs(out, exist_ok=True)
    count = len(gen.roster_xlwt_rows())
    fill = gen.expected_fill(count)
    gen.write_roster_xlwt(os.path.join(out, "before.xls"))
    gen.write_roster_xlwt(os.path.join(out, "good.xls"), fill)
    with open(os.path.join(out, "expect.tsv"), "w", encoding="utf-8") as f:
        for r in sorted(fill):
            f.write("%d\t%s\t%s\t%s\n" % ((r,) + fill[r]))

    def variant(name, change=None, tweak=None):
        f = dict(fill)
        if change:
            change(f)
        gen.write_roster_xlwt(os.path.join(out, name), f, tweak)

    variant("changed_cell.xls", tweak=lambda ws: ws.write(6, 1, "张冒名", gen.ST_CELL))
    bold = xlwt.easyxf("font: name 宋体, bold on; align: horiz left; " + gen.BOX, num_format_str="0")
    variant("changed_fmt.xls", tweak=lambda ws: ws.write(2, 0, 1101, bold))

    def swap(f):
        f[5], f[6] = f[6], f[5]
    variant("swapped.xls", swap)

    def dup(f):
        f[6] = f[5]
    variant("duplicate.xls", dup)

    def split(f):
        f[8] = (f[8][0], f[8][1], "99")
    variant("split_wrong.xls", split)
    variant("number_in_d.xls", tweak=lambda ws: ws.write(8, 3, 107, gen.ST_DEF))

    lo = os.path.join(fixtures, "roster_lo.xls")
    shutil.copy(lo, os.path.join(out, "lo_before.xls"))
    stream = subprocess.run(["gsf", "cat", lo, "\x05SummaryInformation"], check=True,
                            capture_output=True).stdout
    data = bytearray(open(lo, "rb").read())
    at = data.find(stream[:48])
    if len(stream) < 48 or at < 0 or data.find(stream[:48], at + 1) >= 0:
        sys.exit("make_pairs: cannot locate SummaryInformation in %s" % lo)
    data[at + 40] ^= 0xFF          # inside the first mini sector, so the stream stays readable
    with open(os.path.join(out, "lo_other_stream.xls"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
