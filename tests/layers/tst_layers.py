#!/usr/bin/env python3
"""scripts/check-layers on a copy of the sources: passes as it is, fails on each planted include."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..")
SCRIPT = os.path.join(SOURCE, "scripts", "check-layers")

# (file planted into, the include line, whether the check must still pass)
CASES = [
    ("figures/Planted.cpp", '#include "Startmeny/Startmeny.h"', False),  # far above
    ("reports/Planted.cpp", '#include "overview/CoverageOverviewWindow.h"', False),
    ("store/Planted.h", '#include "xls/Workbook.h"', False),  # same level
    ("MDlib/Planted.cpp", '#include <XAPI2000/XAPI2000.h>', False),  # angle brackets
    ("engine/Planted.cpp", '#include "MDlib/Variant.h"', False),  # a folder with no layer
    ("reports/Planted.cpp", "#include <QMessageBox>", False),
    ("store/Planted.cpp", "#include <QtWidgets/QTableView>", False),
    ("xls/Planted.cpp", "#  include <qwidget.h>", False),
    ("import/Planted.cpp", "#include <QApplication>", False),
    ("figures/Planted.cpp", "#include <QtWidgets>", False),
    # allowed: downwards, skipping levels, widgets outside the domain, the tests
    ("reports/Planted.cpp", '#include "MDlib/Variant.h"', True),
    ("Startmeny/Planted.cpp", '#include "skriv/skriv.h"', True),
    ("overview/Planted.cpp", "#include <QMessageBox>", True),
    ("tests/data/Planted.cpp", '#include "Startmeny/Startmeny.h"', True),
    ("reports/Planted.cpp", "#include <QAbstractTableModel>", True),  # QtCore, not widgets
]


class LayerCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.tree = os.path.join(cls.tmp.name, "tree")
        ignore = shutil.ignore_patterns(".git", "build*", "*.png", "docs", "packaging")
        shutil.copytree(SOURCE, cls.tree, ignore=ignore)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def check(self, tree=None):
        return subprocess.run([sys.executable, SCRIPT, tree or self.tree], capture_output=True,
                              text=True)

    def test_real_tree_passes(self):
        for tree in (SOURCE, self.tree):  # the checkout itself (git's files) and the copy
            result = self.check(tree)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("MDlib", result.stdout.splitlines()[0])

    def test_planted_includes(self):
        for path, line, passes in CASES:
            with self.subTest(path=path, line=line):
                target = os.path.join(self.tree, path)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "w", encoding="utf-8") as f:
                    f.write(f"// planted\n{line}\n")
                try:
                    result = self.check()
                finally:
                    os.remove(target)
                self.assertEqual(result.returncode == 0, passes, result.stderr)
                if not passes:  # the report names the file that broke the rule
                    self.assertIn(path.split("/")[0], result.stderr)


if __name__ == "__main__":
    unittest.main()
