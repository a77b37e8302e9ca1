#!/usr/bin/python3
"""Writes examples/candidates.xls: about 300 candidates from 12 schools, D..F left empty.

usage: /usr/bin/python3 examples/make_example.py [OUT.xls]
Seeded, so every run writes the same bytes (python3-xlwt).
"""
import os
import random
import sys

import xlwt

SEED = 20240601
TITLE = "XX片区学科考试考号安排表"
HEADINGS = ("学校代码", "姓名", "性别", "考号", "考室", "座号")
SCHOOL_SIZES = (45, 8, 32, 27, 19, 41, 12, 30, 24, 36, 15, 11)   # 300 in all

SURNAMES = ("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘"
            "于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江")
MALE = "伟强磊军勇杰涛斌浩宇鹏俊峰超明刚平辉健波志华建国轩然博文航晨阳远佑嘉豪子睿"
FEMALE = "芳娜敏静丽艳娟霞燕玲婷雪琳欣怡涵雨萱诗琪彤佳馨语嫣妍紫梦瑶婉清晓月"


def candidates(rng):
    rows = []
    for k, size in enumerate(SCHOOL_SIZES):
        code = 1101 + k
        for _ in range(size):
            sex = rng.choice("男女")
            pool = MALE if sex == "男" else FEMALE
            given = rng.choice(pool) + (rng.choice(pool) if rng.random() < 0.75 else "")
            rows.append((code, rng.choice(SURNAMES) + given, sex))
    # late registrations appended after the blocks, and a few rows moved into other blocks
    for _ in range(12):
        rows.append(rows.pop(rng.randrange(len(rows))))
    for _ in range(6):
        i, j = rng.randrange(len(rows)), rng.randrange(len(rows))
        rows[i], rows[j] = rows[j], rows[i]
    return rows


def main(out):
    rng = random.Random(SEED)
    box = "borders: left thin, right thin, top thin, bottom thin"
    title = xlwt.easyxf("font: name 宋体, bold on, height 360; align: horiz center, vert center")
    head = xlwt.easyxf("font: name 宋体, bold on, height 240; align: horiz center, vert center; "
                       "pattern: pattern solid, fore_colour gray25; " + box)
    cell = xlwt.easyxf("font: name 宋体, height 240; align: horiz center, vert center; " + box)
    code = xlwt.easyxf("font: name 宋体, height 240; align: horiz center, vert center; " + box,
                       num_format_str="0")
    blank = xlwt.easyxf("font: name 宋体, height 240; align: horiz center, vert center; " + box,
                        num_format_str="@")

    book = xlwt.Workbook(encoding="utf-8")
    ws = book.add_sheet("考生名单")
    ws.write_merge(0, 0, 0, 5, TITLE, title)
    ws.row(0).height_mismatch = True
    ws.row(0).height = 600
    for c, h in enumerate(HEADINGS):
        ws.write(1, c, h, head)
    for c, w in enumerate((11, 10, 7, 10, 7, 7)):
        ws.col(c).width = 256 * w
    ws.set_panes_frozen(True)
    ws.set_horz_split_pos(2)
    for i, (school, name, sex) in enumerate(candidates(rng)):
        r = 2 + i
        ws.write(r, 0, school, code)
        ws.write(r, 1, name, cell)
        ws.write(r, 2, sex, cell)
        for c in (3, 4, 5):
            ws.write(r, c, None, blank)
    book.save(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(os.path.abspath(__file__)), "candidates.xls"))
