#!/usr/bin/python3
"""scripts/package.sh: the shipped folder and zip hold exactly what ships,
the exes are the ones built, and packaging again gives the same zip."""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile

import pefile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))



def readme_sizes():
    """The README's table of what ships: file (as in the folder, or the zip)
    to (bytes, budget). Raising a budget means saying why there."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        section = f.read().split("## What ships", 1)[1].split("\n## ", 1)[0]
    rows = re.findall(r"^\| `([^`]+)`[^|]*\| ([\d,]+) \| ([\d,]+) \|$", section, re.M)
    return {name: (int(size.replace(",", "")), int(budget.replace(",", ""))) for name, size, budget in rows}


# What ships beside LIESMICH.txt: the exes in the folder, each from its build
# and for its machine.
EXES = {
    "Portolan.exe": ("win32", 0x14C),
    "PortolanBericht.exe": ("win32", 0x14C),
    os.path.join("x64", "Portolan.exe"): ("win64", 0x8664),
    os.path.join("x64", "PortolanBericht.exe"): ("win64", 0x8664),
}


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def unstamped(path):
    return subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "pe_stamp.py"), "--unstamped", path],
                          check=True, capture_output=True, text=True).stdout


def pe_machine(data):
    return pefile.PE(data=data, fast_load=True).FILE_HEADER.Machine


def package():
    out = subprocess.run(["bash", "scripts/package.sh"], cwd=ROOT, check=True,
                         capture_output=True, text=True).stdout
    match = re.search(r"package: (\S+) and (\S+\.zip)", out)
    assert match, out
    return os.path.join(ROOT, match.group(1)), os.path.join(ROOT, match.group(2))


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder, cls.zip_path = package()
        cls.first_zip_hash = sha256(cls.zip_path)

    def test_folder_holds_both_builds_of_each_exe_and_the_readme(self):
        files = sorted(os.path.relpath(os.path.join(d, f), self.folder)
                       for d, _, names in os.walk(self.folder) for f in names)
        self.assertEqual(files, sorted(["LIESMICH.txt", *EXES]))
        # The build's bytes, stamped with the commit's time.
        for name, (build, _) in EXES.items():
            self.assertEqual(unstamped(os.path.join(self.folder, name)),
                             unstamped(os.path.join(ROOT, "build", build, os.path.basename(name))), name)

    def test_zip_mirrors_the_folder(self):
        with zipfile.ZipFile(self.zip_path) as z:
            self.assertIsNone(z.testzip())
            names = sorted(n for n in z.namelist() if not n.endswith("/"))
            self.assertEqual(names, sorted("Portolan/" + n.replace(os.sep, "/") for n in ["LIESMICH.txt", *EXES]))
            for name in names:
                with open(os.path.join(self.folder, name[len("Portolan/"):]), "rb") as f:
                    self.assertEqual(z.read(name), f.read(), name)
            for name, (_, machine) in EXES.items():
                self.assertEqual(pe_machine(z.read("Portolan/" + name.replace(os.sep, "/"))), machine, name)

    def test_readme_states_the_sizes_and_they_stay_within_budget(self):
        table = readme_sizes()
        sizes = {os.path.basename(self.zip_path): os.path.getsize(self.zip_path)}
        for name in EXES:
            sizes[name.replace(os.sep, "/")] = os.path.getsize(os.path.join(self.folder, name))
        self.assertEqual(sorted(table), sorted(sizes))
        for name, size in sizes.items():
            # The exes' stamps (the commit's time, the checksum) compress
            # differently from commit to commit: the zip's size by a few bytes.
            slack = 64 if name.endswith(".zip") else 0
            self.assertLessEqual(abs(table[name][0] - size), slack, f"README's size of {name}: {size}")
            self.assertLessEqual(size, table[name][1], name)

    def test_readme_is_for_notepad(self):
        with open(os.path.join(self.folder, "LIESMICH.txt"), "rb") as f:
            data = f.read()
        self.assertTrue(data.startswith(b"\xEF\xBB\xBF"))
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""))
        text = data[3:].decode("utf-8")
        self.assertIn("USB-Kompatibilitätscheck", text)
        for name in [*EXES, "Portolan-Bericht.txt"]:
            self.assertIn(name.replace(os.sep, "\\"), text)
        self.assertNotIn("\\\\", text)

    def test_nothing_shipped_names_an_invented_address(self):
        tool = os.path.join(ROOT, "tools", "support_contact.py")

        def run(*args):
            return subprocess.run(["/usr/bin/python3", tool, *args], capture_output=True, text=True)

        shipped = [os.path.join(self.folder, "LIESMICH.txt")] + [
            os.path.join(ROOT, "build", b, "Portolan.chm") for b in ("win32", "win64")]
        self.assertEqual(run("check", *shipped).returncode, 0)
        with tempfile.TemporaryDirectory() as scratch:
            planted = os.path.join(scratch, "text.txt")
            contact = os.path.join(scratch, "contact.txt")
            for text, refused in [("support@kestrel-systems.example", True), ("https://www.example.com/x", True),
                                  ("a@b.invalid", True), ("x@kestrel.test", True), ("help@kestrel.de", False)]:
                with open(planted, "w") as f:
                    f.write(f"Fragen an {text}.\n")
                self.assertEqual(run("check", planted).returncode, int(refused), text)
                with open(contact, "w") as f:
                    f.write(f"# comment\n{text}\n")
                sentence = run("--contact-file", contact, "html")
                self.assertEqual(sentence.returncode, 1 if refused or "@" not in text else 0, text)
            with open(contact, "w") as f:
                f.write("# no address\n\n")
            self.assertEqual(run("--contact-file", contact, "text").stdout,
                             "Wenden Sie sich an Ihren Kestrel-Ansprechpartner.\n")

    def test_a_build_in_another_folder_gives_the_same_bytes(self):
        """The shipped files built again from a copy of this checkout (its
        history and uncommitted changes too) in a folder of another name."""
        with tempfile.TemporaryDirectory() as scratch:
            copy = os.path.join(scratch, "elsewhere", "portolan-copy")
            listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                                    cwd=ROOT, check=True, capture_output=True).stdout.split(b"\0")
            for name in [n.decode() for n in listed if n]:
                if os.path.isfile(os.path.join(ROOT, name)):
                    os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
                    shutil.copy2(os.path.join(ROOT, name), os.path.join(copy, name))
            shutil.copytree(os.path.join(ROOT, ".git"), os.path.join(copy, ".git"))
            subprocess.run(["bash", "scripts/package.sh", "--shipped-only"], cwd=copy, check=True,
                           capture_output=True)
            for name in ["LIESMICH.txt", *EXES]:
                self.assertEqual(sha256(os.path.join(copy, "dist", "Portolan", name)),
                                 sha256(os.path.join(self.folder, name)), name)
            self.assertEqual(sha256(os.path.join(copy, "dist", os.path.basename(self.zip_path))),
                             self.first_zip_hash)
            for build in ("win32", "win64"):
                self.assertEqual(sha256(os.path.join(copy, "build", build, "Portolan.chm")),
                                 sha256(os.path.join(ROOT, "build", build, "Portolan.chm")), build)

    def test_packaging_again_gives_the_same_zip(self):
        _, zip_path = package()
        self.assertEqual(sha256(zip_path), self.first_zip_hash)


if __name__ == "__main__":
    unittest.main()
