#!/usr/bin/env python3
"""tools/pe_resources.py on small PE files built here byte by byte."""

import hashlib
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pe_resources  # noqa: E402

SECTION_RVA = 0x1000
FILE_ALIGN = 0x200


def build_rsrc(resources, section_rva):
    """A .rsrc section for {(type, name): {language: bytes}}; names are ints or str."""
    strings = bytearray()
    string_offsets = {}
    blobs = []

    def directory(entries):
        named = sorted((k for k in entries if isinstance(k, str)))
        numbered = sorted((k for k in entries if isinstance(k, int)))
        return named + numbered, len(named), len(numbered)

    # Layout: all directories first, then data entries, then strings, then data.
    types = {}
    for (kind, name), languages in resources.items():
        types.setdefault(kind, {})[name] = languages
    dirs = []  # (key list, named, numbered, children)

    def plan(tree, depth):
        keys, named, numbered = directory(tree)
        node = {"keys": keys, "named": named, "numbered": numbered, "children": [], "depth": depth}
        dirs.append(node)
        for key in keys:
            child = tree[key]
            if depth < 2:
                node["children"].append(plan(child, depth + 1))
            else:
                blobs.append(child)
                node["children"].append(len(blobs) - 1)
        return node

    root = plan({k: v for k, v in types.items()}, 0)
    offset = 0
    for node in dirs:
        node["offset"] = offset
        offset += 16 + 8 * len(node["keys"])
    data_entries_at = offset
    offset += 16 * len(blobs)
    for node in dirs:
        for key in node["keys"]:
            if isinstance(key, str) and key not in string_offsets:
                string_offsets[key] = offset + len(strings)
                encoded = key.encode("utf-16-le")
                strings += struct.pack("<H", len(key)) + encoded
    offset += len(strings)
    offset = (offset + 7) & ~7
    blob_offsets = []
    for blob in blobs:
        blob_offsets.append(offset)
        offset += (len(blob) + 7) & ~7

    out = bytearray(offset)
    for node in dirs:
        struct.pack_into("<IIHHHH", out, node["offset"], 0, 0, 0, 0, node["named"], node["numbered"])
        for index, key in enumerate(node["keys"]):
            name = (0x80000000 | string_offsets[key]) if isinstance(key, str) else key
            child = node["children"][index]
            target = (0x80000000 | child["offset"]) if node["depth"] < 2 else data_entries_at + 16 * child
            struct.pack_into("<II", out, node["offset"] + 16 + 8 * index, name, target)
    for index, blob in enumerate(blobs):
        struct.pack_into("<IIII", out, data_entries_at + 16 * index, section_rva + blob_offsets[index], len(blob), 0, 0)
        out[blob_offsets[index]:blob_offsets[index] + len(blob)] = blob
    start = data_entries_at + 16 * len(blobs)
    out[start:start + len(strings)] = strings
    assert root["offset"] == 0
    return bytes(out)


def build_pe(resources, plus=False, machine=None, subsystem=2):
    rsrc = build_rsrc(resources, SECTION_RVA) if resources else b""
    raw_size = (len(rsrc) + FILE_ALIGN - 1) & ~(FILE_ALIGN - 1)
    optional_size = 240 if plus else 224
    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x80)
    coff = struct.pack("<HHIIIHH", machine or (0x8664 if plus else 0x14C), 1, 0, 0, 0, optional_size, 0x0102)
    optional = bytearray(optional_size)
    struct.pack_into("<H", optional, 0, 0x20B if plus else 0x10B)
    struct.pack_into("<H", optional, 68, subsystem)
    directories = 112 if plus else 96
    struct.pack_into("<I", optional, directories - 4, 16)
    if rsrc:
        struct.pack_into("<II", optional, directories + 16, SECTION_RVA, len(rsrc))
    headers_end = 0x80 + 4 + 20 + optional_size + 40
    raw_pointer = (headers_end + FILE_ALIGN - 1) & ~(FILE_ALIGN - 1)
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), SECTION_RVA, raw_size, raw_pointer, 0, 0, 0, 0, 0x40000040)
    image = bytes(dos) + b"PE\0\0" + coff + bytes(optional) + section
    image += b"\0" * (raw_pointer - len(image))
    return image + rsrc + b"\0" * (raw_size - len(rsrc))


SAMPLE = {
    (2, 112): {0x0407: b"bitmap bytes"},
    (5, 101): {0x0407: b"dialog", 0x0409: b"dialog en"},
    (24, 1): {0: b"<assembly/>"},
    ("TOPOLOGY", "OFFICE"): {0x0409: b"{}"},
}


class PeResourcesTest(unittest.TestCase):
    def read(self, image):
        with tempfile.NamedTemporaryFile(suffix=".exe", delete=False) as stream:
            stream.write(image)
        self.addCleanup(os.unlink, stream.name)
        return pe_resources.read(stream.name)

    def test_pe32_headers(self):
        info = self.read(build_pe(SAMPLE))
        self.assertEqual((info["machine"], info["format"], info["subsystem"]), ("i386", "PE32", "gui"))

    def test_pe32_plus_headers(self):
        info = self.read(build_pe(SAMPLE, plus=True, subsystem=3))
        self.assertEqual((info["machine"], info["format"], info["subsystem"]), ("x86-64", "PE32+", "console"))

    def test_resource_list(self):
        for plus in (False, True):
            listed = [(r["type"], r["name"], r["language"], r["size"], r["sha256"])
                      for r in self.read(build_pe(SAMPLE, plus=plus))["resources"]]
            expected = [
                ("BITMAP", 112, 0x0407, 12, hashlib.sha256(b"bitmap bytes").hexdigest()),
                ("DIALOG", 101, 0x0407, 6, hashlib.sha256(b"dialog").hexdigest()),
                ("DIALOG", 101, 0x0409, 9, hashlib.sha256(b"dialog en").hexdigest()),
                ("MANIFEST", 1, 0, 11, hashlib.sha256(b"<assembly/>").hexdigest()),
                ("TOPOLOGY", "OFFICE", 0x0409, 2, hashlib.sha256(b"{}").hexdigest()),
            ]
            self.assertEqual(listed, expected)

    def test_no_resources(self):
        self.assertEqual(self.read(build_pe({}))["resources"], [])

    def test_compare_same_across_formats(self):
        self.assertEqual(pe_resources.compare(self.read(build_pe(SAMPLE)), self.read(build_pe(SAMPLE, plus=True))), [])

    def test_compare_finds_changed_data(self):
        changed = dict(SAMPLE)
        changed[(2, 112)] = {0x0407: b"bitmap bytez"}
        problems = pe_resources.compare(self.read(build_pe(SAMPLE)), self.read(build_pe(changed)))
        self.assertEqual(len(problems), 1)
        self.assertIn("BITMAP 112 lang 0x0407 differs", problems[0])

    def test_compare_finds_missing_and_other_language(self):
        changed = dict(SAMPLE)
        changed[(5, 101)] = {0x0407: b"dialog", 0x0c07: b"dialog en"}
        problems = pe_resources.compare(self.read(build_pe(SAMPLE)), self.read(build_pe(changed)))
        self.assertEqual(len(problems), 2)
        self.assertTrue(any("0x0409 only in" in p for p in problems))
        self.assertTrue(any("0x0c07 only in" in p for p in problems))

    def test_compare_may_ignore_version_data(self):
        first = dict(SAMPLE)
        first[(16, 1)] = {0x0407: b"version a"}
        second = dict(SAMPLE)
        second[(16, 1)] = {0x0407: b"version b"}
        a, b = self.read(build_pe(first)), self.read(build_pe(second))
        self.assertEqual(len(pe_resources.compare(a, b)), 1)
        self.assertEqual(pe_resources.compare(a, b, ["VERSION"]), [])

    def test_broken_files(self):
        image = build_pe(SAMPLE)
        with self.assertRaises(pe_resources.PeError):
            self.read(b"MZ" + b"\0" * 10)
        with self.assertRaises(pe_resources.PeError):
            self.read(image[:0x80] + b"XX\0\0" + image[0x84:])
        with self.assertRaises(pe_resources.PeError):
            self.read(image[:0x220])

    def test_command_line(self):
        with tempfile.TemporaryDirectory() as folder:
            a, b = os.path.join(folder, "a.exe"), os.path.join(folder, "b.exe")
            with open(a, "wb") as stream:
                stream.write(build_pe(SAMPLE))
            changed = dict(SAMPLE)
            del changed[(24, 1)]
            with open(b, "wb") as stream:
                stream.write(build_pe(changed, plus=True))
            self.assertEqual(pe_resources.main(["--compare", a, a]), 0)
            self.assertEqual(pe_resources.main(["--compare", a, b]), 1)
            self.assertEqual(pe_resources.main(["--compare", a, os.path.join(folder, "missing.exe")]), 2)


if __name__ == "__main__":
    unittest.main(verbosity=1)
