#!/usr/bin/python3
"""Reads a compiled HTML Help file (.chm) back through chmlib (Debian's
python3-chm), a reader independent of the compiler that wrote it, and
decodes the system files that the help viewer uses: #SYSTEM (default
topic, title, contents file), #WINDOWS with #STRINGS (window types), #IVB
with #STRINGS (context numbers), the table of contents (.hhc) and the titles
of the HTML pages.

  chm_contents.py --json FILE.chm       everything above, and the files, as one JSON object
  chm_contents.py --extract NAME FILE.chm   writes one file to stdout
"""

import argparse
import html.parser
import json
import re
import struct
import sys

from chm import chmlib


class ChmError(Exception):
    pass


class ChmFile:
    def __init__(self, path):
        self.handle = chmlib.chm_open(path)
        if not self.handle:
            raise ChmError("chmlib cannot open it")
        self.entries = {}
        self.order = []

        def collect(_, unit, __):
            name = unit.path.decode("utf-8") if isinstance(unit.path, bytes) else unit.path
            self.entries[name] = unit
            self.order.append(name)
            return chmlib.CHM_ENUMERATOR_CONTINUE

        if not chmlib.chm_enumerate(self.handle, chmlib.CHM_ENUMERATE_ALL, collect, None):
            raise ChmError("chmlib cannot list its directory")
        with open(path, "rb") as f:
            self.language = struct.unpack_from("<I", f.read(0x18), 0x14)[0]  # ITSF header

    def read(self, name):
        unit = self.entries.get(name)
        if unit is None:
            raise ChmError(f"no file {name}")
        if unit.length == 0:
            return b""
        size, data = chmlib.chm_retrieve_object(self.handle, unit, 0, unit.length)
        if size != unit.length:
            raise ChmError(f"{name}: chmlib read {size} of {unit.length} bytes")
        return bytes(data)

    def files(self):
        return [{"name": n, "section": self.entries[n].space, "offset": self.entries[n].start,
                 "size": self.entries[n].length} for n in self.order]


# ---------------------------------------------------------------------------
# System files

def cstring(data, offset, encoding):
    end = data.find(b"\0", offset)
    if end < 0:
        end = len(data)
    return data[offset:end].decode(encoding)


SYSTEM_CODES = {0: "contents_file", 1: "index_file", 2: "default_topic", 3: "title",
                5: "default_window", 6: "compiled_file", 9: "compiler"}


def read_system(data, encoding):
    version, = struct.unpack_from("<I", data, 0)
    result = {"version": version}
    pos = 4
    while pos + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, pos)
        value = data[pos + 4:pos + 4 + length]
        pos += 4 + length
        if code in SYSTEM_CODES:
            result[SYSTEM_CODES[code]] = value.split(b"\0", 1)[0].decode(encoding)
        elif code == 4 and length >= 4:
            result["lcid"] = struct.unpack_from("<I", value, 0)[0]
    return result


def read_windows(data, strings, encoding):
    count, size = struct.unpack_from("<II", data, 0)
    windows = []
    for i in range(count):
        base = 8 + i * size
        field = lambda at: struct.unpack_from("<I", data, base + at)[0]
        text = lambda at: cstring(strings, field(at), encoding) if field(at) else ""
        windows.append({
            "name": text(0x08), "caption": text(0x14),
            "valid_members": field(0x0C), "properties": field(0x10),
            "rect": list(struct.unpack_from("<iiii", data, base + 0x20)),
            "toc": text(0x60), "index": text(0x64), "default_file": text(0x68), "home": text(0x6C),
            "toolbar_flags": field(0x70), "not_expanded": field(0x74),
        })
    return windows


def read_context_map(ivb, strings, encoding):
    size, = struct.unpack_from("<I", ivb, 0)
    pairs = {}
    for i in range(size // 8):
        number, offset = struct.unpack_from("<II", ivb, 4 + 8 * i)
        pairs[str(number)] = cstring(strings, offset, encoding)
    return pairs


class SitemapParser(html.parser.HTMLParser):
    """Nested <UL>/<LI>/<OBJECT type="text/sitemap"> of a .hhc file."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = []
        self.stack = [self.root]
        self.item = None
        self.last = None

    def handle_starttag(self, tag, attrs):
        attrs = {k.lower(): (v or "") for k, v in attrs}
        if tag == "ul":
            children = self.last["children"] if self.last is not None else self.root
            self.stack.append(children)
            self.last = None
        elif tag == "object" and attrs.get("type", "").lower() == "text/sitemap":
            self.item = {"name": None, "local": None, "children": []}
        elif tag == "param" and self.item is not None:
            key = attrs.get("name", "").lower()
            if key in ("name", "local"):
                self.item[key] = attrs.get("value", "")

    def handle_endtag(self, tag):
        if tag == "ul" and len(self.stack) > 1:
            self.stack.pop()
            self.last = None
        elif tag == "object" and self.item is not None:
            self.stack[-1].append(self.item)
            self.last = self.item
            self.item = None


def parse_toc(text):
    parser = SitemapParser()
    parser.feed(text)
    parser.close()
    return parser.root


def html_title(text):
    match = re.search(r"<title>(.*?)</title>", text, re.I | re.S)
    if not match:
        return None
    return html.unescape(re.sub(r"\s+", " ", match.group(1)).strip())


def summary(chm):
    encoding = "cp1252"  # the code page of German (0x0407) help files
    result = {"language": chm.language, "files": chm.files()}
    system = read_system(chm.read("/#SYSTEM"), encoding)
    result["system"] = system
    strings = chm.read("/#STRINGS") if "/#STRINGS" in chm.entries else b""
    result["windows"] = read_windows(chm.read("/#WINDOWS"), strings, encoding) \
        if "/#WINDOWS" in chm.entries else []
    result["context_map"] = read_context_map(chm.read("/#IVB"), strings, encoding) \
        if "/#IVB" in chm.entries else {}
    contents = system.get("contents_file")
    if contents and "/" + contents in chm.entries:
        result["toc"] = parse_toc(chm.read("/" + contents).decode(encoding))
    pages = {}
    for name in chm.order:
        if name.lower().endswith((".html", ".htm")):
            pages[name.lstrip("/")] = html_title(chm.read(name).decode(encoding))
    result["page_titles"] = pages
    return result


def main(argv=None):
    parser = argparse.ArgumentParser(description="Reads a compiled HTML Help file.")
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--json", action="store_true", help="print all decoded data as JSON")
    mode.add_argument("--extract", metavar="NAME", help="write one file of the archive to stdout")
    parser.add_argument("chm")
    args = parser.parse_args(argv)
    try:
        chm = ChmFile(args.chm)
        if args.extract:
            name = args.extract if args.extract.startswith(("/", "::")) else "/" + args.extract
            sys.stdout.buffer.write(chm.read(name))
        else:
            json.dump(summary(chm), sys.stdout, ensure_ascii=False, indent=1)
            print()
    except BrokenPipeError:
        return 0
    except (ChmError, OSError, struct.error, IndexError, KeyError, UnicodeDecodeError) as error:
        print(f"chm_contents: {args.chm}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
