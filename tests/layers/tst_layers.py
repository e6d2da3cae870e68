#!/usr/bin/env python3
"""scripts/check-layers on a git copy of the sources: passes as it is, fails on each planted file.

Every planted file is untracked in that copy, so each failing case also shows that the check
reads files git does not know."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..")
SCRIPT = os.path.join(SOURCE, "scripts", "check-layers")
LABEL = '#include "figures/PlantedLabel.h"'

# (files planted, as {path: text}; the file the report must name, or None where the check passes)
CASES = [
    # up, sideways, and to a folder with no line
    ({"figures/Planted.cpp": '#include "Startmeny/Startmeny.h"'}, "figures/Planted.cpp"),
    ({"reports/Planted.cpp": '#include "skriv/skriv.h"'}, "reports/Planted.cpp"),
    ({"figures/Planted.cpp": '#include "ui/WindowLayout.h"'}, "figures/Planted.cpp"),
    ({"MDlib/Planted.cpp": "#include <XAPI2000/XAPI2000.h>"}, "MDlib/Planted.cpp"),
    ({"store/Planted.h": '#include "xls/Workbook.h"'}, "store/Planted.h"),
    ({"ui/Planted.cpp": '#include "printengine/PrintEngine.h"'}, "ui/Planted.cpp"),
    ({"overview/Planted.cpp": '#include "cli/Commands.h"'}, "overview/Planted.cpp"),
    ({"store/Planted.cpp": '#include "search/SearchSource.h"'}, "store/Planted.cpp"),
    ({"engine/Planted.cpp": '#include "MDlib/Variant.h"'}, "engine/Planted.cpp"),
    # a widget header below the windows, by any spelling, and through a header of ours or Qt's
    ({"reports/Planted.cpp": "#include <QMessageBox>"}, "reports/Planted.cpp"),
    ({"store/Planted.cpp": "#include <QtWidgets/QTableView>"}, "store/Planted.cpp"),
    ({"xls/Planted.cpp": "#  include <qwidget.h>"}, "xls/Planted.cpp"),
    ({"MDlib/Planted.h": "#include <QLabel>"}, "MDlib/Planted.h"),
    ({"figures/Planted.cpp": "#include <QtWidgets>"}, "figures/Planted.cpp"),
    ({"figures/PlantedLabel.h": "#include <QLabel>", "figures/Planted.cpp": LABEL},
     "figures/Planted.cpp: brings in QtWidgets (figures/PlantedLabel.h -> QLabel)"),
    ({"reports/Planted.cpp": "#include <QChartView>"}, "reports/Planted.cpp"),
    # a raw SQLite or libpq call outside the store folders
    ({"reports/Planted.cpp": "int f() { return sqlite3_changes(nullptr); }"}, "sqlite3_changes"),
    ({"cli/Planted.cpp": "void f() { PQclear (nullptr); }"}, "PQclear"),
    # allowed: downwards over several lines, widgets from the print engine up, raw calls in the
    # store folders, the tests, words in comments and texts
    ({"reports/Planted.cpp": '#include "MDlib/Variant.h"'}, None),
    ({"Startmeny/Planted.cpp": '#include "skriv/skriv.h"'}, None),
    ({"ui/Planted.cpp": "#include <QMessageBox>"}, None),
    ({"printengine/Planted.h": "#include <QPrintDialog>"}, None),
    ({"reports/Planted.cpp": "#include <QAbstractTableModel>"}, None),  # QtCore
    ({"tests/data/Planted.cpp": '#include "Startmeny/Startmeny.h"\n#include <QLabel>'}, None),
    ({"store/Planted.cpp": "int f() { return sqlite3_changes(nullptr); }"}, None),
    ({"search/Planted.cpp": "void f() { PQclear(nullptr); }"}, None),
    ({"reports/Planted.cpp": '// not sqlite3_open(), not "include <QLabel>"\n'
                             'const char *t = "PQexec(";'}, None),
]


class LayerCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.tree = os.path.join(cls.tmp.name, "tree")
        ignore = shutil.ignore_patterns(".git", "build*", "*.png", "docs", "packaging")
        shutil.copytree(SOURCE, cls.tree, ignore=ignore)
        for command in (["init", "-q"], ["add", "-A"], ["commit", "-qm", "copy"]):
            subprocess.run(["git", "-c", "user.name=t", "-c", "user.email=t@t", *command],
                           cwd=cls.tree, check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def check(self, tree=None):
        return subprocess.run([sys.executable, SCRIPT, tree or self.tree], capture_output=True,
                              text=True)

    def test_real_tree_passes(self):
        for tree in (SOURCE, self.tree):
            result = self.check(tree)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("MDlib", result.stdout.splitlines()[0])

    def test_planted_files(self):
        for files, reported in CASES:
            with self.subTest(files=files):
                for path, text in files.items():
                    os.makedirs(os.path.join(self.tree, os.path.dirname(path)), exist_ok=True)
                    with open(os.path.join(self.tree, path), "w", encoding="utf-8") as f:
                        f.write(f"// planted\n{text}\n")
                try:
                    result = self.check()
                finally:
                    for path in files:
                        os.remove(os.path.join(self.tree, path))
                self.assertEqual(result.returncode, 0 if reported is None else 1, result.stderr)
                if reported:
                    self.assertIn(reported, result.stderr)


if __name__ == "__main__":
    unittest.main()
