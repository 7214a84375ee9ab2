#!/usr/bin/env python3
"""Reads a compiled HTML Help file (.chm) without outside libraries.

Walks the ITSF/ITSP header and the PMGL directory, reads files of the
uncompressed section directly and those of the MSCompressed section through
a small LZX decoder, and decodes the system files that the help viewer uses:
#SYSTEM (default topic, title, contents file), #WINDOWS with #STRINGS
(window types), #IVB with #STRINGS (context numbers), the table of contents
(.hhc) and the titles of the HTML pages.

  chm_contents.py FILE.chm              lists the files (section, offset, size)
  chm_contents.py --json FILE.chm       everything above as one JSON object
  chm_contents.py --extract NAME FILE.chm   writes one file to stdout
"""

import argparse
import html.parser
import json
import re
import struct
import sys


class ChmError(Exception):
    pass


# ---------------------------------------------------------------------------
# LZX (as stored in the MSCompressed section)

FRAME_SIZE = 0x8000
MIN_MATCH = 2
NUM_CHARS = 256
PRETREE_SIZE = 20
LENGTH_TREE_SIZE = 249
ALIGNED_TREE_SIZE = 8
BLOCK_VERBATIM, BLOCK_ALIGNED, BLOCK_UNCOMPRESSED = 1, 2, 3

EXTRA_BITS = []
POSITION_BASE = []
_base = 0
for _slot in range(51):
    _extra = min(max(_slot // 2 - 1, 0), 17)
    EXTRA_BITS.append(_extra)
    POSITION_BASE.append(_base)
    _base += 1 << _extra
POSITION_SLOTS = {15: 30, 16: 32, 17: 34, 18: 36, 19: 38, 20: 42, 21: 50}


class BitReader:
    """16-bit little-endian words, each read from its top bit down."""

    def __init__(self, data, pos=0):
        self.data = data
        self.seek(pos)

    def seek(self, pos):
        self.pos = pos
        self.buffer = 0
        self.count = 0

    def _word(self):
        if self.pos + 1 < len(self.data):
            word = self.data[self.pos] | (self.data[self.pos + 1] << 8)
        else:
            word = 0  # past the end: zeros, as the format allows
        self.pos += 2
        return word

    def bits(self, n):
        while self.count < n:
            self.buffer = (self.buffer << 16) | self._word()
            self.count += 16
        self.count -= n
        value = (self.buffer >> self.count) & ((1 << n) - 1)
        self.buffer &= (1 << self.count) - 1
        return value

    def align(self):
        """Drops the rest of the current 16-bit word."""
        self.buffer = 0
        self.count = 0

    def raw_bytes(self, n):
        out = self.data[self.pos:self.pos + n]
        if len(out) != n:
            raise ChmError("LZX: uncompressed block runs past the data")
        self.pos += n
        return out


class Huffman:
    """Canonical code from a list of code lengths."""

    def __init__(self, lengths, name):
        self.name = name
        self.codes = {}
        code = 0
        for length in range(1, 17):
            for symbol, symbol_length in enumerate(lengths):
                if symbol_length == length:
                    self.codes[(length, code)] = symbol
                    code += 1
            code <<= 1
        if any(l > 16 for l in lengths):
            raise ChmError(f"LZX: {name} code longer than 16 bits")

    def decode(self, reader):
        if not self.codes:
            raise ChmError(f"LZX: {self.name} used while empty")
        code = 0
        for length in range(1, 17):
            code = (code << 1) | reader.bits(1)
            symbol = self.codes.get((length, code))
            if symbol is not None:
                return symbol
        raise ChmError(f"LZX: bad {self.name} code")


class LzxDecoder:
    def __init__(self, window_bits):
        if window_bits not in POSITION_SLOTS:
            raise ChmError(f"LZX: window of 2^{window_bits} bytes not supported")
        self.main_size = NUM_CHARS + POSITION_SLOTS[window_bits] * 8
        self.reset()

    def reset(self):
        self.r = [1, 1, 1]
        self.main_lengths = [0] * self.main_size
        self.length_lengths = [0] * LENGTH_TREE_SIZE
        self.header_read = False
        self.block_remaining = 0
        self.block_type = None

    def _read_lengths(self, reader, lengths, first, last):
        pretree = Huffman([reader.bits(4) for _ in range(PRETREE_SIZE)], "pretree")
        i = first
        while i < last:
            code = pretree.decode(reader)
            if code == 17:
                run = reader.bits(4) + 4
                value = 0
            elif code == 18:
                run = reader.bits(5) + 20
                value = 0
            elif code == 19:
                run = reader.bits(1) + 4
                value = (lengths[i] - pretree.decode(reader)) % 17
            else:
                run = 1
                value = (lengths[i] - code) % 17
            if i + run > last:
                raise ChmError("LZX: code length run past the tree")
            for j in range(i, i + run):
                lengths[j] = value
            i += run

    def _read_block_header(self, reader):
        self.block_type = reader.bits(3)
        self.block_remaining = reader.bits(24)
        if self.block_type == BLOCK_ALIGNED:
            self.aligned = Huffman([reader.bits(3) for _ in range(ALIGNED_TREE_SIZE)], "aligned tree")
        if self.block_type in (BLOCK_VERBATIM, BLOCK_ALIGNED):
            self._read_lengths(reader, self.main_lengths, 0, NUM_CHARS)
            self._read_lengths(reader, self.main_lengths, NUM_CHARS, self.main_size)
            self.main = Huffman(self.main_lengths, "main tree")
            self._read_lengths(reader, self.length_lengths, 0, LENGTH_TREE_SIZE)
            self.length = Huffman(self.length_lengths, "length tree")
        elif self.block_type == BLOCK_UNCOMPRESSED:
            if reader.count == 0:
                reader.bits(16)
            reader.align()
            self.r = list(struct.unpack("<III", reader.raw_bytes(12)))
        else:
            raise ChmError(f"LZX: bad block type {self.block_type}")

    def frame(self, reader, out, end):
        """Decodes up to the output position `end` (the end of one frame)."""
        if not self.header_read:
            if reader.bits(1):
                raise ChmError("LZX: x86 call translation is not supported")
            self.header_read = True
        while len(out) < end:
            if self.block_remaining <= 0:
                if self.block_type == BLOCK_UNCOMPRESSED:
                    if self.block_size & 1:
                        reader.raw_bytes(1)
                    reader.align()
                self._read_block_header(reader)
                self.block_size = self.block_remaining
            run = min(self.block_remaining, end - len(out))
            start = len(out)
            if self.block_type == BLOCK_UNCOMPRESSED:
                out += reader.raw_bytes(run)
            else:
                self._decode_run(reader, out, start + run)
            self.block_remaining -= len(out) - start
        # Each frame ends on a 16-bit boundary of the input.
        if self.block_type != BLOCK_UNCOMPRESSED:
            reader.align()

    def _decode_run(self, reader, out, stop):
        aligned = self.block_type == BLOCK_ALIGNED
        r = self.r
        while len(out) < stop:
            symbol = self.main.decode(reader)
            if symbol < NUM_CHARS:
                out.append(symbol)
                continue
            symbol -= NUM_CHARS
            length = symbol & 7
            if length == 7:
                length += self.length.decode(reader)
            length += MIN_MATCH
            slot = symbol >> 3
            if slot == 0:
                offset = r[0]
            elif slot == 1:
                offset = r[1]
                r[1] = r[0]
                r[0] = offset
            elif slot == 2:
                offset = r[2]
                r[2] = r[0]
                r[0] = offset
            else:
                extra = EXTRA_BITS[slot]
                if aligned and extra >= 3:
                    verbatim = reader.bits(extra - 3) << 3 if extra > 3 else 0
                    offset = POSITION_BASE[slot] - 2 + verbatim + self.aligned.decode(reader)
                else:
                    offset = POSITION_BASE[slot] - 2 + (reader.bits(extra) if extra else 0)
                r[2] = r[1]
                r[1] = r[0]
                r[0] = offset
            if offset > len(out):
                raise ChmError("LZX: match before the start of the data")
            source = len(out) - offset
            for k in range(length):
                out.append(out[source + k])


def lzx_decompress(content, control, reset_table):
    if len(control) < 24 or control[4:8] != b"LZXC":
        raise ChmError("MSCompressed ControlData has no LZXC signature")
    version, reset_interval, window_size = struct.unpack_from("<III", control, 8)
    if version == 2:
        reset_interval *= FRAME_SIZE
        window_size *= FRAME_SIZE
    elif version != 1:
        raise ChmError(f"LZXC version {version} not supported")
    window_bits = window_size.bit_length() - 1
    if window_size != 1 << window_bits or reset_interval % FRAME_SIZE:
        raise ChmError("LZXC window or reset interval not supported")
    frames_per_reset = reset_interval // FRAME_SIZE

    (rt_version, entries, entry_size, header_size, uncompressed,
     compressed, block_size) = struct.unpack_from("<IIIIQQQ", reset_table, 0)
    if entry_size != 8 or block_size != FRAME_SIZE:
        raise ChmError("reset table layout not supported")
    offsets = [struct.unpack_from("<Q", reset_table, header_size + 8 * i)[0] for i in range(entries)]

    decoder = LzxDecoder(window_bits)
    reader = BitReader(content)
    out = bytearray()
    frame = 0
    while len(out) < uncompressed:
        if frame % frames_per_reset == 0:
            decoder.reset()
            if frame < len(offsets):
                reader.seek(offsets[frame])
        decoder.frame(reader, out, min((frame + 1) * FRAME_SIZE, uncompressed))
        frame += 1
    return bytes(out)


# ---------------------------------------------------------------------------
# Container

def encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


class ChmFile:
    COMPRESSED_PREFIX = "::DataSpace/Storage/MSCompressed/"
    RESET_TABLE = ("Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
                   "InstanceData/ResetTable")

    def __init__(self, data):
        self.data = data
        if data[:4] != b"ITSF":
            raise ChmError("no ITSF signature")
        self.version, header_length = struct.unpack_from("<II", data, 4)
        self.language = struct.unpack_from("<I", data, 0x14)[0]
        self.header0_offset, _, dir_offset, dir_length = struct.unpack_from("<QQQQ", data, 0x38)
        if self.version >= 3:
            self.content_offset = struct.unpack_from("<Q", data, 0x58)[0]
        else:
            self.content_offset = dir_offset + dir_length
        self.entries = {}
        self.order = []
        self._read_directory(dir_offset)
        self._section1 = None

    def _read_directory(self, offset):
        d = self.data
        if d[offset:offset + 4] != b"ITSP":
            raise ChmError("no ITSP signature")
        header_length, = struct.unpack_from("<I", d, offset + 8)
        chunk_size, density, depth, index_root, first, last = \
            struct.unpack_from("<IIIiii", d, offset + 0x10)
        chunks = offset + header_length
        self.chunk_size, self.density, self.index_root = chunk_size, density, index_root
        self.chunks_offset, self.first_pmgl, self.last_pmgl = chunks, first, last
        number, seen = first, set()
        while number != -1:
            if number in seen:
                raise ChmError("PMGL chunks form a loop")
            seen.add(number)
            chunk = d[chunks + number * chunk_size:chunks + (number + 1) * chunk_size]
            if chunk[:4] != b"PMGL":
                raise ChmError(f"directory chunk {number} is not PMGL")
            free, _, _, following = struct.unpack_from("<Iiii", chunk, 4)
            pos = 20
            while pos < chunk_size - free:
                length, pos = encint(chunk, pos)
                name = chunk[pos:pos + length].decode("utf-8")
                pos += length
                section, pos = encint(chunk, pos)
                start, pos = encint(chunk, pos)
                size, pos = encint(chunk, pos)
                self.entries[name] = (section, start, size)
                self.order.append(name)
            number = following

    def _raw(self, name):
        section, start, size = self.entries[name]
        if section != 0:
            raise ChmError(f"{name} is not in the uncompressed section")
        begin = self.content_offset + start
        return self.data[begin:begin + size]

    def section1(self):
        if self._section1 is None:
            p = self.COMPRESSED_PREFIX
            self._section1 = lzx_decompress(self._raw(p + "Content"), self._raw(p + "ControlData"),
                                            self._raw(p + self.RESET_TABLE))
        return self._section1

    def read(self, name):
        if name not in self.entries:
            raise ChmError(f"no file {name}")
        section, start, size = self.entries[name]
        if section == 0:
            return self._raw(name)
        if section == 1:
            data = self.section1()
            if start + size > len(data):
                raise ChmError(f"{name} lies past the end of the compressed section")
            return data[start:start + size]
        raise ChmError(f"{name}: unknown section {section}")

    def files(self):
        return [{"name": n, "section": self.entries[n][0], "offset": self.entries[n][1],
                 "size": self.entries[n][2]} for n in self.order]


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


# Windows code pages of the usual help file languages.
CODE_PAGES = {0x0407: "cp1252", 0x0409: "cp1252", 0x0809: "cp1252", 0x040C: "cp1252"}


def summary(chm):
    encoding = CODE_PAGES.get(chm.language, "cp1252")
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
    parser.add_argument("--json", action="store_true", help="print all decoded data as JSON")
    parser.add_argument("--extract", metavar="NAME", help="write one file of the archive to stdout")
    parser.add_argument("chm")
    args = parser.parse_args(argv)
    try:
        with open(args.chm, "rb") as f:
            chm = ChmFile(f.read())
        if args.extract:
            name = args.extract if args.extract.startswith(("/", "::")) else "/" + args.extract
            sys.stdout.buffer.write(chm.read(name))
        elif args.json:
            json.dump(summary(chm), sys.stdout, ensure_ascii=False, indent=1)
            print()
        else:
            for entry in chm.files():
                print(f"{entry['section']} {entry['offset']:8d} {entry['size']:8d} {entry['name']}")
    except BrokenPipeError:
        return 0
    except (ChmError, OSError, struct.error, IndexError, KeyError, UnicodeDecodeError) as error:
        print(f"chm_contents: {args.chm}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
