#!/usr/bin/python3
"""Writes the sample workbooks of the demo: invented Japanese business data.

売上管理.xlsx  monthly sales with amounts as formulas, a summary over the months, notes
顧客名簿.xlsx  customers and their terms of payment
在庫一覧.xlsx  stock of two warehouses with reorder flags, and planned orders

Every formula is stored with its computed value, as a spreadsheet program saves it, so that a
reader without a calculation engine shows the right text. The output is the same on every run.
Run with Debian's python3 (python3-xlsxwriter):  examples/make_examples.py [folder]
"""

import datetime
import os
import sys

import xlsxwriter

FIXED_TIME = datetime.datetime(2024, 7, 1, 9, 0, 0)

CUSTOMERS = [
    # code, company, prefecture and city, contact, phone, since
    ("C001", "株式会社山田商事", "東京都千代田区", "山田 太郎", "03-1234-5678", datetime.date(2015, 4, 1)),
    ("C002", "有限会社佐藤製作所", "大阪府大阪市", "佐藤 花子", "06-2345-6789", datetime.date(2017, 10, 2)),
    ("C003", "鈴木工業株式会社", "愛知県名古屋市", "鈴木 一郎", "052-345-6789", datetime.date(2012, 6, 15)),
    ("C004", "田中物産株式会社", "東京都港区", "田中 次郎", "03-4567-8901", datetime.date(2019, 1, 7)),
    ("C005", "高橋電機株式会社", "福岡県福岡市", "高橋 美咲", "092-567-8901", datetime.date(2020, 3, 2)),
    ("C006", "株式会社伊藤フーズ", "北海道札幌市", "伊藤 健", "011-678-9012", datetime.date(2021, 8, 20)),
    ("C007", "渡辺商店", "東京都台東区", "渡辺 由美", "03-7890-1234", datetime.date(2010, 11, 11)),
    ("C008", "中村システム株式会社", "神奈川県横浜市", "中村 翔", "045-890-1234", datetime.date(2022, 5, 9)),
]
CUSTOMER_NOTES = {
    "C004": "2024年10月に東京都品川区へ移転予定",
    "C006": "新規取引先。初回は前払い",
}
TERMS = {
    "C001": ("月末締め翌月末払い", 5_000_000),
    "C002": ("20日締め翌月10日払い", 2_000_000),
    "C003": ("月末締め翌々月10日払い", 8_000_000),
    "C004": ("月末締め翌月末払い", 3_000_000),
    "C005": ("15日締め当月末払い", 1_500_000),
    "C006": ("前払い", 500_000),
    "C007": ("月末締め翌月末払い", 1_000_000),
    "C008": ("月末締め翌月20日払い", 2_500_000),
}

PRODUCTS = [
    # code, name, unit price
    ("P-101", "A4コピー用紙(500枚)", 480),
    ("P-102", "ボールペン 黒 10本入", 650),
    ("P-205", "ファイルボックス", 320),
    ("P-310", "ノートパソコン用スタンド", 3_980),
    ("P-412", "ワイヤレスマウス", 2_480),
    ("P-518", "ホワイトボード 900×600", 12_800),
]

STAFF = ["営業一課 青木", "営業一課 石井", "営業二課 上田", "営業二課 遠藤"]

REGION_OF = {
    "東京都": "東京", "神奈川県": "関東", "大阪府": "大阪", "愛知県": "中部", "福岡県": "九州",
    "北海道": "北海道",
}


def region(address):
    for prefecture, name in REGION_OF.items():
        if address.startswith(prefecture):
            return name
    return "その他"


def new_book(path):
    book = xlsxwriter.Workbook(path)
    book.set_properties({"title": os.path.basename(path), "author": "Tabrill サンプル",
                         "created": FIXED_TIME})
    formats = {
        "head": book.add_format({"bold": True, "bg_color": "#DDEBF7", "border": 1}),
        "date": book.add_format({"num_format": "yyyy/mm/dd"}),
        "yen": book.add_format({"num_format": "#,##0"}),
        "percent": book.add_format({"num_format": "0.0%"}),
        "total": book.add_format({"bold": True, "num_format": "#,##0", "top": 1}),
    }
    return book, formats


def cell(row, col):
    return xlsxwriter.utility.xl_rowcol_to_cell(row, col)


def sales_book(folder):
    book, f = new_book(os.path.join(folder, "売上管理.xlsx"))
    months = [("4月", datetime.date(2024, 4, 1)), ("5月", datetime.date(2024, 5, 1)),
              ("6月", datetime.date(2024, 6, 1))]
    totals = {}
    for m, (sheet_name, first_day) in enumerate(months):
        sheet = book.add_worksheet(sheet_name)
        head = ["日付", "顧客名", "地域", "商品", "数量", "単価", "金額", "担当"]
        sheet.write_row(0, 0, head, f["head"])
        sheet.set_column(0, 0, 11)
        sheet.set_column(1, 1, 22)
        sheet.set_column(3, 3, 26)
        rows = 10
        amounts = []
        for i in range(rows):
            customer = CUSTOMERS[(i * 3 + m) % len(CUSTOMERS)]
            product = PRODUCTS[(i + 2 * m) % len(PRODUCTS)]
            quantity = 5 + (i * 7 + m * 3) % 40
            r = i + 1
            day = first_day + datetime.timedelta(days=(i * 3) % 28)
            sheet.write_datetime(r, 0, datetime.datetime(day.year, day.month, day.day), f["date"])
            sheet.write_string(r, 1, customer[1])
            sheet.write_string(r, 2, region(customer[2]))
            sheet.write_string(r, 3, product[1])
            sheet.write_number(r, 4, quantity)
            sheet.write_number(r, 5, product[2], f["yen"])
            amount = quantity * product[2]
            amounts.append(amount)
            sheet.write_formula(r, 6, f"={cell(r, 4)}*{cell(r, 5)}", f["yen"], amount)
            sheet.write_string(r, 7, STAFF[(i + m) % len(STAFF)])
            if customer[0] == "C006" and i < 4:
                sheet.write_comment(r, 1, "新規取引先。初回は前払いで受注")
            if i == 4:
                sheet.write_comment(r, 6, "値引き後の金額(5%引き)を請求済み")
        total_row = rows + 1
        sheet.write_string(total_row, 5, "合計", f["head"])
        total = sum(amounts)
        totals[sheet_name] = (total_row, total)
        sheet.write_formula(total_row, 6, f"=SUM(G2:G{rows + 1})", f["total"], total)
        if m == 2:
            sheet.write_comment(total_row, 6, "四半期末。東京地区の大口受注を含む")

    summary = book.add_worksheet("集計")
    summary.write_row(0, 0, ["月", "売上金額", "前月比", "備考"], f["head"])
    summary.set_column(0, 0, 8)
    summary.set_column(1, 1, 14)
    summary.set_column(3, 3, 30)
    previous = None
    for i, (sheet_name, _) in enumerate(months):
        r = i + 1
        total_row, total = totals[sheet_name]
        summary.write_string(r, 0, sheet_name)
        summary.write_formula(r, 1, f"='{sheet_name}'!G{total_row + 1}", f["yen"], total)
        if previous is None:
            summary.write_string(r, 2, "-")
        else:
            summary.write_formula(r, 2, f"={cell(r, 1)}/{cell(r - 1, 1)}-1", f["percent"],
                                  total / previous - 1)
        previous = total
    summary.write_string(1, 3, "期初。東京・大阪で展示会")
    summary.write_string(3, 3, "ホワイトボードの販促あり")
    quarter = sum(t for _, t in totals.values())
    summary.write_string(4, 0, "第1四半期", f["head"])
    summary.write_formula(4, 1, "=SUM(B2:B4)", f["total"], quarter)
    summary.write_comment(4, 1, "前年同期比 108%。売上目標は達成")
    book.close()


def customer_book(folder):
    book, f = new_book(os.path.join(folder, "顧客名簿.xlsx"))
    sheet = book.add_worksheet("顧客一覧")
    sheet.write_row(0, 0, ["顧客コード", "会社名", "所在地", "担当者", "電話番号", "取引開始日"],
                    f["head"])
    sheet.set_column(1, 2, 22)
    sheet.set_column(4, 5, 14)
    for i, (code, company, address, contact, phone, since) in enumerate(CUSTOMERS):
        r = i + 1
        sheet.write_string(r, 0, code)
        sheet.write_string(r, 1, company)
        sheet.write_string(r, 2, address)
        sheet.write_string(r, 3, contact)
        sheet.write_string(r, 4, phone)
        sheet.write_datetime(r, 5, datetime.datetime(since.year, since.month, since.day), f["date"])
        if code in CUSTOMER_NOTES:
            sheet.write_comment(r, 2 if code == "C004" else 1, CUSTOMER_NOTES[code])

    terms = book.add_worksheet("取引条件")
    terms.write_row(0, 0, ["顧客コード", "会社名", "支払条件", "与信限度額", "年間取引額", "与信残"],
                    f["head"])
    terms.set_column(1, 2, 24)
    terms.set_column(3, 5, 13)
    for i, (code, company, *_rest) in enumerate(CUSTOMERS):
        r = i + 1
        condition, limit = TERMS[code]
        yearly = (i + 1) * 410_000
        terms.write_string(r, 0, code)
        terms.write_formula(r, 1, f"=顧客一覧!B{r + 1}", None, company)
        terms.write_string(r, 2, condition)
        terms.write_number(r, 3, limit, f["yen"])
        terms.write_number(r, 4, yearly, f["yen"])
        terms.write_formula(r, 5, f"={cell(r, 3)}-{cell(r, 4)}", f["yen"], limit - yearly)
    terms.write_comment(6, 2, "前払い確認後に出荷すること")
    book.close()


def stock_book(folder):
    book, f = new_book(os.path.join(folder, "在庫一覧.xlsx"))
    for w, warehouse in enumerate(["東京倉庫", "大阪倉庫"]):
        sheet = book.add_worksheet(warehouse)
        sheet.write_row(0, 0, ["品番", "品名", "在庫数", "発注点", "状態", "保管場所"], f["head"])
        sheet.set_column(1, 1, 26)
        sheet.set_column(5, 5, 16)
        for i, (code, name, _price) in enumerate(PRODUCTS):
            r = i + 1
            stock = (i * 37 + w * 53) % 120
            reorder = 20 + (i % 3) * 10
            sheet.write_string(r, 0, code)
            sheet.write_string(r, 1, name)
            sheet.write_number(r, 2, stock)
            sheet.write_number(r, 3, reorder)
            status = "要発注" if stock < reorder else ""
            sheet.write_formula(r, 4, f'=IF({cell(r, 2)}<{cell(r, 3)},"要発注","")', None, status)
            sheet.write_string(r, 5, f"{warehouse[:2]} {chr(ord('A') + i % 3)}-{i + 1:02d}棚")
        if w == 0:
            sheet.write_comment(3, 2, "棚卸しで2個の差異。東京本社に報告済み")

    orders = book.add_worksheet("発注予定")
    orders.write_row(0, 0, ["品番", "品名", "発注数", "納期", "仕入先", "納品先"], f["head"])
    orders.set_column(1, 1, 26)
    orders.set_column(4, 5, 20)
    planned = [
        ("P-101", 200, datetime.date(2024, 7, 5), "東洋紙業株式会社", "東京倉庫"),
        ("P-310", 30, datetime.date(2024, 7, 12), "株式会社デスクワークス", "大阪倉庫"),
        ("P-412", 50, datetime.date(2024, 7, 19), "日本周辺機器株式会社", "東京倉庫"),
    ]
    names = {code: name for code, name, _ in PRODUCTS}
    for i, (code, quantity, due, supplier, destination) in enumerate(planned):
        r = i + 1
        orders.write_string(r, 0, code)
        orders.write_string(r, 1, names[code])
        orders.write_number(r, 2, quantity)
        orders.write_datetime(r, 3, datetime.datetime(due.year, due.month, due.day), f["date"])
        orders.write_string(r, 4, supplier)
        orders.write_string(r, 5, destination)
    orders.write_comment(2, 3, "納期回答待ち")
    book.close()


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(folder, exist_ok=True)
    sales_book(folder)
    customer_book(folder)
    stock_book(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
