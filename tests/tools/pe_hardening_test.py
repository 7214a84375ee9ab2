#!/usr/bin/python3
"""tools/pe_hardening.py: on small programs built here with and without
stack protection, stripped or not, it passes what is hardened and fails
what is not, for both machines."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOL = os.path.join(ROOT, "tools", "pe_hardening.py")

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
        code, out = run_tool("--release", good)
        self.assertEqual(code, 0, out)
        self.assertIn("fortified functions called: __strcpy_chk", out)

        unprotected = self.build(triple, "unprotected", [], HARDENED_LINK + entropy, stripped=True)
        code, out = run_tool("--release", unprotected)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "no debug sections"), "PASS")
        self.assertEqual(verdict(out, "calls to __stack_chk_fail"), "FAIL")
        self.assertEqual(verdict(out, "fixed buffers"), "FAIL")

        with_debug = self.build(triple, "debug", ["-g", "-fstack-protector-strong"], HARDENED_LINK + entropy,
                                stripped=False)
        code, out = run_tool("--release", with_debug)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "no debug sections"), "FAIL")
        self.assertEqual(verdict(out, "no COFF symbols"), "FAIL")
        self.assertEqual(verdict(out, "symbols copy"), "FAIL")
        # Without --release only the address-space checks apply.
        code, out = run_tool(with_debug)
        self.assertEqual(code, 0, out)

        # A stripped exe whose code differs from its symbols copy.
        shutil.copy(unprotected[:-4] + ".symbols.exe", good[:-4] + ".symbols.exe")
        code, out = run_tool("--release", good)
        self.assertEqual(verdict(out, "same code as"), "FAIL")

    def test_x86_64(self):
        self.check_machine("x86_64-w64-mingw32", high_entropy=True)

    def test_i686(self):
        self.check_machine("i686-w64-mingw32", high_entropy=False)

    def test_address_space_flags(self):
        exe = self.build("x86_64-w64-mingw32", "no-aslr", [], ["-Wl,--disable-dynamicbase,--disable-nxcompat"],
                         stripped=False)
        code, out = run_tool(exe)
        self.assertEqual(code, 1)
        self.assertEqual(verdict(out, "DYNAMIC_BASE"), "FAIL")
        self.assertEqual(verdict(out, "NX_COMPAT"), "FAIL")


if __name__ == "__main__":
    unittest.main()
