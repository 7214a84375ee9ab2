#!/usr/bin/python3
"""tools/pe_check.py: on small programs built here with and without stack
protection, stripped or not, linked statically or not, it passes what is
hardened and self-contained and fails what is not, for both machines; on
copies of Portolan.exe changed here it tells a changed, a missing and an
unreadable file apart. That both builds carry the same resources, the test
command checks on the builds themselves."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOL = os.path.join(ROOT, "tools", "pe_check.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))
import pe_check  # noqa: E402

WIN64 = os.path.join(ROOT, "build", "win64", "Portolan.exe")
CAPTION = " USB-Kompatibilit".encode("utf-16-le")

# One function per name the release check looks for, each with a buffer
# on the stack, and enough callers of them to reach the call count.
PROGRAM = "#include <windows.h>\n#include <cstring>\n" + "".join(
    f"__attribute__((noinline)) int {name}(const char* s) {{ char b[64]; std::strcpy(b, s); "
    f"return MessageBoxA(nullptr, b, \"{name}\", 0); }}\n"
    for name in ["ScanHubPorts", "FetchConfigDescriptor", "FetchStringDescriptor", "FindPnpInstanceId",
                 "ReadDriverDesc", "ShowNodeProperties"] + [f"Helper{i}" for i in range(20)]
) + "int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR c, int) { return " + " + ".join(
    ["ScanHubPorts(c)", "FetchConfigDescriptor(c)", "FetchStringDescriptor(c)", "FindPnpInstanceId(c)",
     "ReadDriverDesc(c)", "ShowNodeProperties(c)"] + [f"Helper{i}(c)" for i in range(20)]) + "; }\n"

HARDENED_LINK = ["-Wl,--dynamicbase,--nxcompat"]


def run_tool(*args):
    result = subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True)
    return result.returncode, result.stdout


def verdict(output, check):
    lines = [line for line in output.splitlines() if check in line]
    assert len(lines) == 1, (check, output)
    return lines[0].split()[0]


class HardeningCheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="pe-hardening-")
        with open(os.path.join(cls.folder, "program.cpp"), "w") as f:
            f.write(PROGRAM)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def build(self, triple, name, compile_flags, link_flags, stripped):
        exe = os.path.join(self.folder, f"{triple}-{name}.exe")
        subprocess.run([f"{triple}-g++", "-O2", "-static", "-mwindows", *compile_flags,
                        os.path.join(self.folder, "program.cpp"), "-o", exe, *link_flags], check=True)
        if stripped:
            shutil.copy(exe, exe[:-4] + ".symbols.exe")
            subprocess.run([f"{triple}-strip", "--strip-all", exe], check=True)
        return exe

    def check_machine(self, triple, high_entropy):
        entropy = ["-Wl,--high-entropy-va"] if high_entropy else []
        good = self.build(triple, "good", ["-fstack-protector-strong", "-D_FORTIFY_SOURCE=2"],
                          HARDENED_LINK + entropy, stripped=True)
        code, out = run_tool("hardening", "--release", good)
        self.assertEqual(code, 0, out)
        self.assertIn("fortified functions called: __strcpy_chk", out)

        unprotected = self.build(triple, "unprotected", [], HARDENED_LINK + entropy, stripped=True)
        code, out = run_tool("hardening", "--release", unprotected)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "no debug sections"), "PASS")
        self.assertEqual(verdict(out, "calls to __stack_chk_fail"), "FAIL")
        self.assertEqual(verdict(out, "fixed buffers"), "FAIL")

        with_debug = self.build(triple, "debug", ["-g", "-fstack-protector-strong"], HARDENED_LINK + entropy,
                                stripped=False)
        code, out = run_tool("hardening", "--release", with_debug)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "no debug sections"), "FAIL")
        self.assertEqual(verdict(out, "no COFF symbols"), "FAIL")
        self.assertEqual(verdict(out, "symbols copy"), "FAIL")
        # Without --release only the address-space checks apply.
        code, out = run_tool("hardening", with_debug)
        self.assertEqual(code, 0, out)

        # A stripped exe whose code differs from its symbols copy.
        shutil.copy(unprotected[:-4] + ".symbols.exe", good[:-4] + ".symbols.exe")
        code, out = run_tool("hardening", "--release", good)
        self.assertEqual(verdict(out, "same code as"), "FAIL")

    def test_x86_64(self):
        self.check_machine("x86_64-w64-mingw32", high_entropy=True)

    def test_i686(self):
        self.check_machine("i686-w64-mingw32", high_entropy=False)

    def test_address_space_flags(self):
        exe = self.build("x86_64-w64-mingw32", "no-aslr", [], ["-Wl,--disable-dynamicbase,--disable-nxcompat"],
                         stripped=False)
        code, out = run_tool("hardening", exe)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "DYNAMIC_BASE"), "FAIL")
        self.assertEqual(verdict(out, "NX_COMPAT"), "FAIL")

    def test_imports_and_machine(self):
        static = self.build("x86_64-w64-mingw32", "static", [], [], stripped=False)
        self.assertEqual(run_tool("imports", "--machine", "x86-64", static)[0], 0)
        code, out = run_tool("imports", "--machine", "i386", static)
        self.assertEqual((code, verdict(out, "machine:")), (1, "FAIL"))
        # The C++ runtime as a DLL of its own.
        dynamic = os.path.join(self.folder, "dynamic.exe")
        subprocess.run(["x86_64-w64-mingw32-g++", "-x", "c++", "-", "-o", dynamic], check=True,
                       input="#include <string>\nint main(int c, char** v) { return std::string(v[0]).size(); }\n",
                       text=True)
        code, out = run_tool("imports", "--machine", "x86-64", dynamic)
        self.assertEqual((code, verdict(out, "libstdc++")), (1, "FAIL"))


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
        problems = pe_check.compare(pe_check.read(WIN64), pe_check.read(changed))
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("DIALOG 101 lang 0x0407 differs", problems[0])
        self.assertEqual(pe_check.main(["same-resources", WIN64, changed]), 1)

    def test_unreadable_files_exit_with_2(self):
        cut = self.write("cut.exe", self.image[:0x200])
        for other in (cut, os.path.join(self.folder, "missing.exe"), self.write("text.exe", b"MZ" + b"\0" * 10)):
            self.assertEqual(pe_check.main(["same-resources", WIN64, other]), 2, other)


if __name__ == "__main__":
    unittest.main()
