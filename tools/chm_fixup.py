#!/usr/bin/env python3
"""Finishes a .chm built by chmcmd 3.2.2 (Debian fp-utils).

1. Context map: chmcmd writes each topic of #IVB as the absolute path of
   the source file on the build machine ("/tmp/x/t101.html"), so
   HH_HELP_CONTEXT finds no page. The copy names them relative to the
   project folder ("t101.html"): a new #IVB and an extended #STRINGS (its
   old strings keep their offsets, so #WINDOWS still reads) are appended to
   the uncompressed section and the directory points at them.
2. Time stamps: the ITSF header and #SYSTEM carry the compile time. Both
   are set from a hash of the compressed section's content, so the same
   sources compiled in the same folder give the same bytes.

  chm_fixup.py IN.chm PROJECT_DIR OUT.chm

Fails when a topic is not a file of the archive or when the file has a
layout this tool does not handle (more than one directory chunk).
"""

import hashlib
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chm_contents import ChmError, ChmFile, cstring  # noqa: E402


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


def quickref_layout(chunk, entries, chunk_size, density):
    """Which entries the quick-reference slots of `chunk` point at."""
    starts, pos = {}, 0
    for index, entry in enumerate(entries):
        starts[pos] = index
        pos += len(encode_entry(*entry))
    count, = struct.unpack_from("<H", chunk, chunk_size - 2)
    if count != len(entries):
        raise ChmError("directory chunk: entry count does not match")
    indexes = []
    for slot in range(1, len(entries) // (1 + (1 << density)) + 1):
        offset, = struct.unpack_from("<H", chunk, chunk_size - 2 - 2 * slot)
        if offset not in starts:
            raise ChmError("directory chunk: unexpected quick-reference layout")
        indexes.append(starts[offset])
    return indexes


def stable_stamps(data):
    chm = ChmFile(data)
    stamp = hashlib.sha256(chm.section1()).digest()[:4]
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


def relative_context(data, project_dir):
    chm = ChmFile(data)
    if chm.first_pmgl != chm.last_pmgl or chm.index_root != -1:
        raise ChmError("only files with a single directory chunk are handled")
    if "/#IVB" not in chm.entries:
        raise ChmError("the file has no context map (#IVB)")
    section0_end = max(chm.content_offset + start + size
                       for section, start, size in chm.entries.values() if section == 0)
    if section0_end != len(data):
        raise ChmError("the uncompressed section does not end the file")

    strings = chm.read("/#STRINGS")
    ivb = chm.read("/#IVB")
    size, = struct.unpack_from("<I", ivb, 0)
    prefix = project_dir.rstrip("/") + "/"
    new_strings = bytearray(strings)
    added = {}
    pairs = []
    changed = False
    for i in range(size // 8):
        number, offset = struct.unpack_from("<II", ivb, 4 + 8 * i)
        topic = cstring(strings, offset, "cp1252")
        if topic.startswith(prefix):
            topic = topic[len(prefix):]
            changed = True
        if "/" + topic not in chm.entries:
            raise ChmError(f"context {number}: topic {topic!r} is not a file of the archive")
        if topic not in added:
            added[topic] = len(new_strings)
            new_strings += topic.encode("cp1252") + b"\0"
        pairs.append((number, added[topic]))
    if not changed:
        return data

    new_ivb = struct.pack("<I", 8 * len(pairs)) + b"".join(struct.pack("<II", n, o) for n, o in pairs)
    strings_start = len(data) - chm.content_offset
    ivb_start = strings_start + len(new_strings)

    chunk_at = chm.chunks_offset + chm.first_pmgl * chm.chunk_size
    original = data[chunk_at:chunk_at + chm.chunk_size]
    entries = [(name,) + chm.entries[name] for name in chm.order]
    quickref = quickref_layout(original, entries, chm.chunk_size, chm.density)
    if build_chunk(original, entries, chm.chunk_size, quickref) != original:
        raise ChmError("directory chunk: cannot reproduce its layout")
    replaced = {"/#STRINGS": (0, strings_start, len(new_strings)), "/#IVB": (0, ivb_start, len(new_ivb))}
    entries = [(name,) + replaced.get(name, chm.entries[name]) for name in chm.order]
    chunk = build_chunk(original, entries, chm.chunk_size, quickref)

    out = bytearray(data)
    out[chunk_at:chunk_at + chm.chunk_size] = chunk
    out += new_strings + new_ivb
    struct.pack_into("<Q", out, chm.header0_offset + 8, len(out))
    return bytes(out)


def main(argv):
    if len(argv) != 4:
        print("usage: chm_fixup.py IN.chm PROJECT_DIR OUT.chm", file=sys.stderr)
        return 2
    source, project_dir, target = argv[1:]
    try:
        with open(source, "rb") as f:
            result = stable_stamps(relative_context(f.read(), os.path.abspath(project_dir)))
        check = ChmFile(result)
        check.read("/#IVB")
        with open(target, "wb") as f:
            f.write(result)
    except (ChmError, OSError, struct.error, IndexError, KeyError) as error:
        print(f"chm_fixup: {source}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
