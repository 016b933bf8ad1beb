"""Reads back an .xlsx file for the tests (zip and XML only, nothing from the writer).

Usage: xlsx_dump.py FILE. Prints one JSON object: "cells" maps "A1"-style references to
[value, number format] (value a number or a text), "pane" the frozen split, "page" the
orientation and paper size, "widths" the column widths, all of the first sheet; "sheets"
lists every sheet in the workbook's order as {"name", "cells"}.
"""
import json
import sys
import xml.etree.ElementTree as ET
import zipfile

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}


def main():
    book = zipfile.ZipFile(sys.argv[1])
    names = book.namelist()
    shared = []
    if "xl/sharedStrings.xml" in names:
        for si in ET.fromstring(book.read("xl/sharedStrings.xml")).findall("m:si", NS):
            shared.append("".join(t.text or "" for t in si.iter("{%s}t" % NS["m"])))
    styles = ET.fromstring(book.read("xl/styles.xml"))
    custom = {f.get("numFmtId"): f.get("formatCode")
              for f in styles.findall("m:numFmts/m:numFmt", NS)}
    formats = []
    for xf in styles.findall("m:cellXfs/m:xf", NS):
        fid = xf.get("numFmtId", "0")
        formats.append(custom.get(fid, "General" if fid == "0" else fid))
    def cells_of(sheet):
        cells = {}
        for c in sheet.iter("{%s}c" % NS["m"]):
            kind = c.get("t")
            fmt = formats[int(c.get("s", "0"))]
            if kind == "inlineStr":
                value = "".join(t.text or "" for t in c.iter("{%s}t" % NS["m"]))
            elif kind == "s":
                value = shared[int(c.find("m:v", NS).text)]
            else:
                v = c.find("m:v", NS)
                value = float(v.text) if v is not None else None
            cells[c.get("r")] = [value, fmt]
        return cells

    rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
    targets = {r.get("Id"): r.get("Target") for r in ET.fromstring(
        book.read("xl/_rels/workbook.xml.rels"))}
    sheets = []
    for s in ET.fromstring(book.read("xl/workbook.xml")).findall("m:sheets/m:sheet", NS):
        target = targets[s.get("{%s}id" % rel_ns)].lstrip("/")
        path = target if target.startswith("xl/") else "xl/" + target
        sheets.append({"name": s.get("name"), "cells": cells_of(ET.fromstring(book.read(path)))})
    sheet = ET.fromstring(book.read("xl/worksheets/sheet1.xml"))
    cells = cells_of(sheet)
    pane = sheet.find("m:sheetViews/m:sheetView/m:pane", NS)
    setup = sheet.find("m:pageSetup", NS)
    widths = {c.get("min"): float(c.get("width")) for c in sheet.findall("m:cols/m:col", NS)}
    print(json.dumps({
        "cells": cells,
        "pane": None if pane is None else {k: pane.get(k) for k in ("xSplit", "ySplit", "state")},
        "page": None if setup is None else {k: setup.get(k) for k in ("orientation", "paperSize")},
        "widths": widths,
        "sheets": sheets,
    }, ensure_ascii=False))


if __name__ == "__main__":
    main()
