#!/usr/bin/python3
"""Writes the seeds of the .xlsx fuzz targets from the real workbooks of the test fixtures.

xlsx_container/seeds: the smallest workbooks as they are, and a few tiny packages made here.
xlsx_parts/seeds:     for each of the smallest workbooks, its first worksheet, shared strings,
                      styles, that sheet's notes and the workbook part, joined by "\\n%%\\n"
                      (an empty piece is a part left out), the input form of fuzz_xlsx_parts.

Run from anywhere with Debian's python3; it replaces the seeds it wrote before.
"""

import io
import os
import posixpath
import re
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "..", "tests", "fixtures", "corpus", "xlsx")
CONTAINER_FILES = 30
PARTS_FILES = 50
SEPARATOR = b"\n%%\n"

REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def smallest(count):
    names = [n for n in os.listdir(CORPUS) if n.endswith(".xlsx")]
    names.sort(key=lambda n: (os.path.getsize(os.path.join(CORPUS, n)), n))
    return names[:count]


def clear(folder):
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))


def part(zf, name):
    lowered = {i.filename.lower().lstrip("/"): i.filename for i in zf.infolist()}
    real = lowered.get(name.lower())
    return zf.read(real) if real else None


def relationships(zf, source):
    folder, base = posixpath.split(source)
    data = part(zf, posixpath.join(folder, "_rels", base + ".rels"))
    result = {}
    if not data:
        return result
    for m in re.finditer(rb"<Relationship\b[^>]*>", data):
        tag = m.group(0).decode("utf-8", "replace")
        attrs = dict(re.findall(r'(\w+)="([^"]*)"', tag))
        if attrs.get("TargetMode") == "External":
            continue
        target = attrs.get("Target", "")
        path = target[1:] if target.startswith("/") else posixpath.normpath(posixpath.join(folder, target))
        result[attrs.get("Id")] = (attrs.get("Type", "").rsplit("/", 1)[-1], path)
    return result


def parts_seed(path):
    with zipfile.ZipFile(path) as zf:
        workbook_name = "xl/workbook.xml"
        for kind, target in relationships(zf, "").values():
            if kind == "officeDocument":
                workbook_name = target
        workbook = part(zf, workbook_name) or b""
        related = relationships(zf, workbook_name)
        sheet_name = strings = styles = None
        for m in re.finditer(rb"<(?:\w+:)?sheet\b[^>]*>", workbook):
            rid = re.search(rb'\w+:id="([^"]*)"', m.group(0))
            if rid and related.get(rid.group(1).decode(), ("",))[0] == "worksheet":
                sheet_name = related[rid.group(1).decode()][1]
                break
        for kind, target in related.values():
            if kind == "sharedStrings":
                strings = part(zf, target)
            elif kind == "styles":
                styles = part(zf, target)
        if not sheet_name:
            return None
        sheet = part(zf, sheet_name)
        notes = None
        for kind, target in relationships(zf, sheet_name).values():
            if kind == "comments":
                notes = part(zf, target)
        # The packed workbook has its worksheet at rId1: every sheet points there.
        workbook = re.sub(rb'(<(?:\w+:)?sheet\b[^>]*\b\w+:id=")[^"]*(")', rb"\1rId1\2", workbook)
        pieces = [sheet, strings, styles, notes, workbook]
        if any(p and SEPARATOR in p for p in pieces):
            return None
        return SEPARATOR.join(p or b"" for p in pieces)


def package(files, compression=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", compression) as zf:
        for name, data in files:
            zf.writestr(name, data)
    return out.getvalue()


def hand_made():
    types = (b'<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             b'<Default Extension="xml" ContentType="application/xml"/></Types>')

    def rels(*items):
        body = "".join('<Relationship Id="rId%d" Type="%s%s" Target="%s"/>' % (i + 1, REL, t, g)
                       for i, (t, g) in enumerate(items))
        return ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                + body + "</Relationships>").encode()

    workbook = ('<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="S" sheetId="1" r:id="rId1"/>'
                "</sheets></workbook>" % (MAIN, REL[:-1])).encode()
    sheet = ('<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="s"><v>0</v></c>'
             '<c r="B1"><f>A1&amp;"x"</f><v>1</v></c><c r="C1" t="inlineStr"><is><t>in</t></is></c>'
             "</row></sheetData></worksheet>" % MAIN).encode()
    strings = ('<sst xmlns="%s"><si><t>売上</t></si></sst>' % MAIN).encode()
    base = [("[Content_Types].xml", types), ("_rels/.rels", rels(("officeDocument", "xl/workbook.xml"))),
            ("xl/workbook.xml", workbook),
            ("xl/_rels/workbook.xml.rels", rels(("worksheet", "worksheets/sheet1.xml"),
                                                ("sharedStrings", "sharedStrings.xml"))),
            ("xl/worksheets/sheet1.xml", sheet), ("xl/sharedStrings.xml", strings)]
    return {
        "tiny-deflated.xlsx": package(base),
        "tiny-stored.xlsx": package(base, zipfile.ZIP_STORED),
        "no-workbook.xlsx": package(base[:2]),
        "empty-zip.xlsx": package([]),
    }


def main():
    container = os.path.join(HERE, "xlsx_container", "seeds")
    parts = os.path.join(HERE, "xlsx_parts", "seeds")
    clear(container)
    clear(parts)
    for name in smallest(CONTAINER_FILES):
        with open(os.path.join(CORPUS, name), "rb") as src, open(os.path.join(container, name), "wb") as dst:
            dst.write(src.read())
    for name, data in hand_made().items():
        with open(os.path.join(container, name), "wb") as dst:
            dst.write(data)
    written = 0
    for name in smallest(PARTS_FILES):
        seed = parts_seed(os.path.join(CORPUS, name))
        if seed is None:
            continue
        with open(os.path.join(parts, name[:-5] + ".parts"), "wb") as dst:
            dst.write(seed)
        written += 1
    print("container seeds: %d, parts seeds: %d" % (len(os.listdir(container)), written))


if __name__ == "__main__":
    sys.exit(main())
