#!/usr/bin/python3
"""tools/pe_resources.py on copies of Portolan.exe changed here: a changed,
a missing or an unreadable file told apart. That both builds carry the same
resources, scripts/check-pe.sh --same-resources checks."""

import os
import sys
import tempfile
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import pe_resources  # noqa: E402

WIN64 = os.path.join(ROOT, "build", "win64", "Portolan.exe")
CAPTION = " USB-Kompatibilit".encode("utf-16-le")


class PeResources(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        with open(WIN64, "rb") as stream:
            self.image = stream.read()

    def tearDown(self):
        for name in os.listdir(self.folder):
            os.unlink(os.path.join(self.folder, name))
        os.rmdir(self.folder)

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as stream:
            stream.write(data)
        return path

    def test_a_changed_byte_of_a_dialog_is_found(self):
        at = self.image.index(CAPTION)
        changed = self.write("changed.exe", self.image[:at] + b"X" + self.image[at + 1:])
        problems = pe_resources.compare(pe_resources.read(WIN64), pe_resources.read(changed))
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("DIALOG 101 lang 0x0407 differs", problems[0])
        self.assertEqual(pe_resources.main(["--compare", WIN64, changed]), 1)

    def test_unreadable_files_exit_with_2(self):
        cut = self.write("cut.exe", self.image[:0x200])
        for other in (cut, os.path.join(self.folder, "missing.exe"), self.write("text.exe", b"MZ" + b"\0" * 10)):
            self.assertEqual(pe_resources.main(["--compare", WIN64, other]), 2, other)


if __name__ == "__main__":
    unittest.main(verbosity=1)
