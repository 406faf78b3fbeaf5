#!/usr/bin/python3
"""The peer a Linux user would pick instead: openpyxl loading workbooks and listing matches.

Usage: peer_openpyxl.py {load,formulas,values,comments} WORD FILE...
Prints one line of JSON: the mode, the seconds spent inside Python (interpreter start-up
excluded) and the number of matching cells. A match is a cell whose formula (or constant),
value or note text contains WORD, as Tabrill's part-of-cell search in that look-in.
"""

import json
import sys
import time

import openpyxl


def cell_texts(book, mode):
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if mode == "comments":
                    if cell.comment is not None:
                        yield cell.comment.text
                elif cell.value is not None:
                    yield cell.value if isinstance(cell.value, str) else str(cell.value)


def main():
    mode, word, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    start = time.perf_counter()
    # Values need the cached results of formulas; formulas and notes need the full model.
    books = [openpyxl.load_workbook(f, data_only=(mode == "values")) for f in files]
    matches = 0
    if mode != "load":
        for book in books:
            matches += sum(1 for text in cell_texts(book, mode) if word in text)
    seconds = time.perf_counter() - start
    print(json.dumps({"mode": mode, "seconds": seconds, "matches": matches,
                      "books": len(books)}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
