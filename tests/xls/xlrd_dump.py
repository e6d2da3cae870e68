#!/usr/bin/python3
"""Reads a .xls file with xlrd and prints what a test needs to check as JSON: every cell with
its type, value, boldness and font, and the column widths (in 1/256 of a character)."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
types = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number",
         xlrd.XL_CELL_BOOLEAN: "boolean", xlrd.XL_CELL_ERROR: "error", xlrd.XL_CELL_BLANK: "blank",
         xlrd.XL_CELL_DATE: "date"}
cells = []
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            continue
        font = book.font_list[book.xf_list[cell.xf_index].font_index]
        cells.append({"row": r + 1, "col": c + 1, "type": types[cell.ctype], "value": cell.value,
                      "bold": font.weight >= 700 and bool(font.bold), "font": font.name})
widths = {str(c + 1): info.width for c, info in sheet.colinfo_map.items()}
print(json.dumps({"sheets": book.nsheets, "name": sheet.name, "nrows": sheet.nrows,
                  "ncols": sheet.ncols, "cells": cells, "widths": widths}))
