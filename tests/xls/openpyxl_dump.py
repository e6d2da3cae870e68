#!/usr/bin/python3
"""Reads a .xlsx file with openpyxl and prints what xlrd_dump.py prints for a .xls, so that the
two can be compared cell by cell: every cell with its type, value (a formula's stored result),
boldness and font, the column widths in 1/256 of a character, and each formula's text.
With --columns 1,7 only the cells of those columns are listed (long sheets)."""
import json
import sys

import zipfile
from xml.etree import ElementTree

import openpyxl

path = sys.argv[1]
only = None
if len(sys.argv) > 3 and sys.argv[2] == "--columns":
    only = {int(c) for c in sys.argv[3].split(",")}

values = openpyxl.load_workbook(path, data_only=True, read_only=True)
formulas = openpyxl.load_workbook(path, read_only=True)
sheet = values.worksheets[0]
cells = []
nrows = ncols = 0
for row, with_formulas in zip(sheet.iter_rows(), formulas.worksheets[0].iter_rows()):
    for cell, source in zip(row, with_formulas):
        if cell.__class__.__name__ == "EmptyCell":
            continue
        nrows, ncols = max(nrows, cell.row), max(ncols, cell.column)
        if only and cell.column not in only:
            continue
        v = cell.value
        kind = ("blank" if v is None else "boolean" if isinstance(v, bool) else
                "number" if isinstance(v, (int, float)) else
                "error" if isinstance(v, str) and v.startswith("#") else "text")
        entry = {"row": cell.row, "col": cell.column, "type": kind,
                 "value": v if v is not None else "", "bold": bool(cell.font.b),
                 "font": cell.font.name}
        if source.data_type == "f":
            entry["formula"] = source.value[1:]
        cells.append(entry)

# Widths as the file stores them, back in characters of the digit width the writer assumed.
widths = {}
with zipfile.ZipFile(path) as z, z.open("xl/worksheets/sheet1.xml") as xml:
    for _, element in ElementTree.iterparse(xml):
        if element.tag.endswith("}col") and element.get("customWidth") in ("1", "true"):
            chars = round(float(element.get("width")) - 5 / 7, 2)
            for c in range(int(element.get("min")), int(element.get("max")) + 1):
                widths[str(c)] = round(chars * 256)
        elif element.tag.endswith("}cols"):
            break
print(json.dumps({"sheets": len(values.worksheets), "name": sheet.title, "nrows": nrows,
                  "ncols": ncols, "cells": cells, "widths": widths}))
