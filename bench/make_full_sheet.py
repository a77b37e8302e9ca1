#!/usr/bin/python3
"""Writes a roster filling a whole .xls sheet: 65,534 candidates (rows 3 to 65,536).

usage: /usr/bin/python3 bench/make_full_sheet.py OUT.xls [SCHOOLS]
Written by python3-xlwt, seeded; schools of uneven size, mostly in blocks.
"""
import random
import sys

import xlwt

CANDIDATES = 65534


def main(out, schools):
    rng = random.Random(65534)
    weights = [rng.lognormvariate(0, 0.8) for _ in range(schools)]
    total = sum(weights)
    heads = [1 + int(w / total * (CANDIDATES - schools)) for w in weights]
    i = 0
    while sum(heads) < CANDIDATES:
        heads[i % schools] += 1
        i += 1
    rows = [(100000 + s, "考生%d" % n, rng.choice("男女")) for s, h in enumerate(heads) for n in range(h)]
    for _ in range(CANDIDATES // 50):
        a, b = rng.randrange(len(rows)), rng.randrange(len(rows))
        rows[a], rows[b] = rows[b], rows[a]

    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("考生")
    sheet.write(0, 0, "XX片区学科考试考号安排表")
    for c, h in enumerate(("学校代码", "姓名", "性别", "考号", "考室", "座号")):
        sheet.write(1, c, h)
    for r, (code, name, sex) in enumerate(rows, start=2):
        sheet.write(r, 0, str(code))
        sheet.write(r, 1, name)
        sheet.write(r, 2, sex)
    book.save(out)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 2000)
