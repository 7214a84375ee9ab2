#!/usr/bin/python3
"""Finishes a .chm built by chmcmd 3.2.2 (Debian fp-utils).

1. Context map: chmcmd writes each topic of #IVB as the absolute path of
   the source file on the build machine ("/tmp/x/t101.html") into the
   compressed #STRINGS, so HH_HELP_CONTEXT finds no page and the file
   carries the build folder. So the project is compiled without its
   [ALIAS] and [MAP] sections, and this tool adds the context map they
   give: a new #IVB and a #STRINGS that is the compiled one plus the pages'
   names relative to the project ("t101.html"; the old strings keep their
   offsets, so #WINDOWS still reads), appended to the uncompressed section,
   with the directory pointing at them. It then checks that no stream,
   decoded, names the build folder.
2. Time stamps: the ITSF header and #SYSTEM carry the compile time. Both
   are set from a hash of the compressed section's content, so the same
   sources compiled in the same folder give the same bytes.

The directory and the uncompressed section are read here; what lies in the
compressed section is read through chmlib (tools/chm_contents.py).

  chm_fixup.py IN.chm PROJECT.hhp BUILD_DIR OUT.chm

Fails when a topic is not a file of the archive, when the file has a
layout this tool does not handle (more than one directory chunk) or when
it names BUILD_DIR.
"""

import hashlib
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chm_contents import ChmError, ChmFile  # noqa: E402


def decode_encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


class Directory:
    """The ITSF header and the PMGL directory of a file: name -> (section, start, size)."""

    def __init__(self, data):
        if data[:4] != b"ITSF":
            raise ChmError("no ITSF signature")
        version, = struct.unpack_from("<I", data, 4)
        self.header0_offset, _, offset, length = struct.unpack_from("<QQQQ", data, 0x38)
        self.content_offset = struct.unpack_from("<Q", data, 0x58)[0] if version >= 3 else offset + length
        if data[offset:offset + 4] != b"ITSP":
            raise ChmError("no ITSP signature")
        header_length, = struct.unpack_from("<I", data, offset + 8)
        self.chunk_size, self.density, _, self.index_root, self.first_pmgl, self.last_pmgl = \
            struct.unpack_from("<IIIiii", data, offset + 0x10)
        self.chunks_offset = offset + header_length
        if self.first_pmgl != self.last_pmgl or self.index_root != -1:
            raise ChmError("only files with a single directory chunk are handled")
        at = self.chunks_offset + self.first_pmgl * self.chunk_size
        chunk = data[at:at + self.chunk_size]
        if chunk[:4] != b"PMGL":
            raise ChmError("the directory chunk is not PMGL")
        free, = struct.unpack_from("<I", chunk, 4)
        self.entries, self.order, pos = {}, [], 20
        while pos < self.chunk_size - free:
            length, pos = decode_encint(chunk, pos)
            name = chunk[pos:pos + length].decode("utf-8")
            section, pos = decode_encint(chunk, pos + length)
            start, pos = decode_encint(chunk, pos)
            size, pos = decode_encint(chunk, pos)
            self.entries[name] = (section, start, size)
            self.order.append(name)

    def raw(self, data, name):
        section, start, size = self.entries[name]
        if section != 0:
            raise ChmError(f"{name} is not in the uncompressed section")
        return data[self.content_offset + start:self.content_offset + start + size]


def encode_encint(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(groups))


def encode_entry(name, section, start, size):
    raw = name.encode("utf-8")
    return encode_encint(len(raw)) + raw + encode_encint(section) + encode_encint(start) + encode_encint(size)


def build_chunk(original, entries, chunk_size, quickref_indexes):
    """A PMGL chunk with the header fields of `original` and these entries."""
    body = bytearray()
    starts = []
    for entry in entries:
        starts.append(len(body))
        body += encode_entry(*entry)
    end = 20 + len(body)
    tail = 2 * (len(quickref_indexes) + 1)
    if end + tail > chunk_size:
        raise ChmError("the directory entries do not fit into one chunk")
    chunk = bytearray(chunk_size)
    chunk[0:20] = original[0:20]
    struct.pack_into("<I", chunk, 4, chunk_size - end)
    chunk[20:end] = body
    for slot, index in enumerate(quickref_indexes, 1):
        struct.pack_into("<H", chunk, chunk_size - 2 - 2 * slot, starts[index])
    struct.pack_into("<H", chunk, chunk_size - 2, len(entries))
    return bytes(chunk)


def regular_quickref(count, density):
    """The quick-reference slots chmcmd writes: the last entry of every run of
    1 + 2**density entries (one before where the format puts them, which
    only starts a reader's search earlier)."""
    step = 1 + (1 << density)
    return [slot * step - 1 for slot in range(1, count // step + 1)]


COMPRESSED_CONTENT = "::DataSpace/Storage/MSCompressed/Content"


def stable_stamps(data):
    chm = Directory(data)
    stamp = hashlib.sha256(chm.raw(data, COMPRESSED_CONTENT)).digest()[:4]
    out = bytearray(data)
    out[0x10:0x14] = stamp
    section, start, size = chm.entries["/#SYSTEM"]
    if section != 0:
        raise ChmError("#SYSTEM is not in the uncompressed section")
    pos = 4
    while pos + 4 <= size:
        code, length = struct.unpack_from("<HH", data, chm.content_offset + start + pos)
        if code == 10 and length >= 4:
            at = chm.content_offset + start + pos + 4
            out[at:at + 4] = stamp
        pos += 4 + length
    return bytes(out)


def read_context_map(hhp_path):
    """(number, page) pairs from the [ALIAS] and [MAP] sections of a help project."""
    aliases, numbers, section = {}, [], None
    with open(hhp_path, encoding="cp1252") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
            elif section == "ALIAS":
                name, _, page = line.partition("=")
                aliases[name.strip()] = page.strip()
            elif section == "MAP":
                words = line.split()
                if len(words) != 3 or words[0] != "#define":
                    raise ChmError(f"[MAP]: cannot read {line!r}")
                numbers.append((words[1], int(words[2], 0)))
    pairs = []
    for name, number in numbers:
        if name not in aliases:
            raise ChmError(f"[MAP]: {name} has no [ALIAS] entry")
        pairs.append((number, aliases[name]))
    return pairs


def add_context_map(data, compiled, pairs):
    """Adds #IVB and a #STRINGS that holds the pages' names to a file without them.

    The new #STRINGS starts with the compiled one, so the offsets that
    #WINDOWS holds stay valid; both go to the end of the uncompressed
    section and the directory points at them.
    """
    chm = Directory(data)
    if "/#IVB" in chm.entries:
        raise ChmError("the file has a context map already; compile the project without [ALIAS] and [MAP]")
    if "/#STRINGS" not in chm.entries:
        raise ChmError("the file has no #STRINGS")
    section0_end = max(chm.content_offset + start + size
                       for section, start, size in chm.entries.values() if section == 0)
    if section0_end != len(data):
        raise ChmError("the uncompressed section does not end the file")
    order = chm.order
    if order != sorted(order, key=str.lower):
        raise ChmError("directory entries are not in the order this tool expects")

    new_strings = bytearray(compiled.read("/#STRINGS"))
    offsets = {}
    ivb_pairs = []
    for number, page in pairs:
        if "/" + page not in chm.entries:
            raise ChmError(f"context {number}: page {page!r} is not a file of the archive")
        if page not in offsets:
            offsets[page] = len(new_strings)
            new_strings += page.encode("cp1252") + b"\0"
        ivb_pairs.append((number, offsets[page]))
    new_ivb = struct.pack("<I", 8 * len(ivb_pairs)) + b"".join(struct.pack("<II", n, o) for n, o in ivb_pairs)
    strings_start = len(data) - chm.content_offset
    ivb_start = strings_start + len(new_strings)

    chunk_at = chm.chunks_offset + chm.first_pmgl * chm.chunk_size
    original = data[chunk_at:chunk_at + chm.chunk_size]
    entries = [(name,) + chm.entries[name] for name in order]
    if build_chunk(original, entries, chm.chunk_size, regular_quickref(len(entries), chm.density)) != original:
        raise ChmError("directory chunk: cannot reproduce its layout")
    placed = {"/#STRINGS": (0, strings_start, len(new_strings)), "/#IVB": (0, ivb_start, len(new_ivb))}
    names = sorted(order + ["/#IVB"], key=str.lower)
    entries = [(name,) + placed.get(name, chm.entries.get(name)) for name in names]
    chunk = build_chunk(original, entries, chm.chunk_size, regular_quickref(len(entries), chm.density))

    out = bytearray(data)
    out[chunk_at:chunk_at + chm.chunk_size] = chunk
    out += new_strings + new_ivb
    struct.pack_into("<Q", out, chm.header0_offset + 8, len(out))
    return bytes(out)


def check_no_build_path(data, chm, project_dir):
    """Fails when the file, or any of its files as chmlib decodes them, names the build folder."""
    folder = os.path.basename(project_dir.rstrip("/")).encode("utf-8")
    for blob in [data] + [chm.read(name) for name in chm.order]:
        if folder in blob:
            raise ChmError(f"the file still names the build folder {project_dir!r}")


def main(argv):
    if len(argv) != 5:
        print("usage: chm_fixup.py IN.chm PROJECT.hhp BUILD_DIR OUT.chm", file=sys.stderr)
        return 2
    source, project, build_dir, target = argv[1:]
    try:
        with open(source, "rb") as f:
            result = stable_stamps(add_context_map(f.read(), ChmFile(source), read_context_map(project)))
        with open(target, "wb") as f:
            f.write(result)
        finished = ChmFile(target)
        finished.read("/#IVB")
        check_no_build_path(result, finished, os.path.abspath(build_dir))
    except (ChmError, OSError, struct.error, IndexError, KeyError) as error:
        print(f"chm_fixup: {source}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
