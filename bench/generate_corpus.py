#!/usr/bin/python3
"""Writes the benchmark corpus with an independent writer (XlsxWriter), deterministically.

small: 20 workbooks x 5 worksheets x 500 rows x 10 columns
large: the same with 2,000 rows

About 60% of the cells hold short Japanese or ASCII texts from a fixed vocabulary, 30% numbers
with formats (#,##0, 0.00%, dates) and 10% simple formulas. The word 売上 sits in about one cell in
200, and a few notes contain it. Run with Debian's python3 (python3-xlsxwriter).
"""

import argparse
import datetime
import os
import random
import sys

import xlsxwriter

WORD = "売上"
PLAIN_TEXTS = [
    "東京", "大阪", "名古屋", "福岡", "札幌", "仙台", "横浜", "神戸", "京都", "広島",
    "営業部", "経理部", "総務部", "開発部", "人事部", "仕入", "在庫", "請求書", "見積書", "納品書",
    "株式会社山田商事", "有限会社佐藤製作所", "鈴木工業", "田中物産", "高橋電機",
    "apple", "banana", "cherry", "Widget", "Gadget", "Order", "Invoice", "Total", "Q1", "Q2",
    "ｶﾀｶﾅ", "ﾃｽﾄ", "ＡＢＣ", "ｘｙｚ", "完了", "未完了", "保留", "確認済", "要確認", "備考",
]
WORD_TEXTS = ["売上", "売上高", "今期売上", "売上計画", "前年売上比", "売上原価", "月次売上"]
NOTE_TEXTS = ["確認してください", "前年比で見直し", "売上の内訳は別紙", "担当: 山田", "売上目標を修正"]

SIZES = {"small": 500, "large": 2000}
BOOKS = 20
SHEETS = 5
COLUMNS = 10


def cell_name(row, col):
    letters = ""
    n = col
    while n >= 0:
        letters = chr(ord("A") + n % 26) + letters
        n = n // 26 - 1
    return f"{letters}{row + 1}"


def write_book(path, rows, rng):
    book = xlsxwriter.Workbook(path)
    formats = {
        "thousands": book.add_format({"num_format": "#,##0"}),
        "percent": book.add_format({"num_format": "0.00%"}),
        "date": book.add_format({"num_format": "yyyy/mm/dd"}),
    }
    base_date = datetime.date(2024, 4, 1)
    for s in range(SHEETS):
        sheet = book.add_worksheet(f"シート{s + 1}")
        for r in range(rows):
            for c in range(COLUMNS):
                roll = rng.random()
                if roll < 0.005:
                    sheet.write_string(r, c, rng.choice(WORD_TEXTS))
                elif roll < 0.60:
                    sheet.write_string(r, c, rng.choice(PLAIN_TEXTS))
                elif roll < 0.70:
                    sheet.write_number(r, c, rng.randint(0, 10_000_000), formats["thousands"])
                elif roll < 0.80:
                    sheet.write_number(r, c, round(rng.random(), 4), formats["percent"])
                elif roll < 0.90:
                    day = base_date + datetime.timedelta(days=rng.randint(0, 900))
                    sheet.write_datetime(r, c, datetime.datetime(day.year, day.month, day.day),
                                         formats["date"])
                else:
                    other = cell_name(r, (c + 1) % COLUMNS)
                    sheet.write_formula(r, c, f"=LEN({other})*2", None, 0)
                if rng.random() < 0.0004:
                    sheet.write_comment(r, c, rng.choice(NOTE_TEXTS))
    book.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("size", choices=sorted(SIZES))
    parser.add_argument("folder")
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    rng = random.Random(20261211)
    for b in range(BOOKS):
        write_book(os.path.join(args.folder, f"bench{b + 1:02d}.xlsx"), SIZES[args.size], rng)
    return 0


if __name__ == "__main__":
    sys.exit(main())
