#!/usr/bin/python3
"""Prints the cells of the first sheet of an .xlsx file that LibreOffice Calc wrote, as JSON:
A1 reference -> {"formula": text or null, "value": text}."""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
with zipfile.ZipFile(sys.argv[1]) as z:
    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", ns):
            shared.append("".join(t.text or "" for t in si.iter("{%s}t" % ns["m"])))
    sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
cells = {}
for c in sheet.iter("{%s}c" % ns["m"]):
    f = c.find("m:f", ns)
    v = c.find("m:v", ns)
    value = v.text if v is not None else None
    if c.get("t") == "s" and value is not None:
        value = shared[int(value)]
    cells[c.get("r")] = {"formula": f.text if f is not None else None, "value": value}
print(json.dumps(cells))
