#!/usr/bin/env python3
"""Builds the resource pictures in res/ from the pixel maps in res/images/.

    python3 tools/make_images.py                  # write res/*.bmp and res/*.ico
    python3 tools/make_images.py --check          # fail if a written file is stale

An enlarged preview comes from ImageMagick, e.g.
    convert res/tree_images.bmp -scale 800% tree_images.png

A pixel map is a text file:

    # comment
    colours
    X RRGGBB [AA]  name       one symbol per colour; AA is alpha, default FF
    ...
    frame NAME WIDTHxHEIGHT
    <HEIGHT rows of WIDTH symbols>
    ...

Symbols are single printable characters other than '#' and blank.
Standard library only.
"""

import argparse
import os
import struct
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(REPO, "res")
SOURCES = os.path.join(RES, "images")


class PixelMap:
    def __init__(self, path):
        self.path = path
        self.colours = {}     # symbol -> (r, g, b, a)
        self.order = []       # symbols in legend order
        self.frames = []      # (name, width, height, rows)
        self._parse()

    def _fail(self, line_no, message):
        raise SystemExit(f"{self.path}:{line_no}: {message}")

    def _parse(self):
        with open(self.path, encoding="ascii") as f:
            lines = f.read().splitlines()
        section = None
        frame = None
        for line_no, line in enumerate(lines, 1):
            if frame is not None and len(frame[3]) < frame[2]:
                if len(line) != frame[1]:
                    self._fail(line_no, f"row of {len(line)} symbols, frame {frame[0]} is {frame[1]} wide")
                for symbol in line:
                    if symbol not in self.colours:
                        self._fail(line_no, f"symbol {symbol!r} is not in the colour legend")
                frame[3].append(line)
                continue
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            words = stripped.split()
            if words[0] == "colours" and len(words) == 1:
                section = "colours"
            elif words[0] == "frame":
                if len(words) != 3 or "x" not in words[2]:
                    self._fail(line_no, "expected: frame NAME WIDTHxHEIGHT")
                width, height = (int(v) for v in words[2].split("x"))
                frame = (words[1], width, height, [])
                self.frames.append(frame)
                section = "frame"
            elif section == "colours":
                symbol = line[0]
                fields = line[1:].split()
                if line[1:2] != " " or symbol in "# " or not fields:
                    self._fail(line_no, "expected: SYMBOL RRGGBB [AA] name")
                if symbol in self.colours:
                    self._fail(line_no, f"symbol {symbol!r} defined twice")
                rgb = fields[0]
                alpha = "FF"
                if len(fields) > 1 and len(fields[1]) == 2 and all(c in "0123456789abcdefABCDEF" for c in fields[1]):
                    alpha = fields[1]
                if len(rgb) != 6:
                    self._fail(line_no, "colour must be RRGGBB")
                value = int(rgb, 16)
                self.colours[symbol] = (value >> 16, (value >> 8) & 0xFF, value & 0xFF, int(alpha, 16))
                self.order.append(symbol)
            else:
                self._fail(line_no, f"unexpected line: {stripped}")
        for name, width, height, rows in self.frames:
            if len(rows) != height:
                raise SystemExit(f"{self.path}: frame {name} has {len(rows)} rows, expected {height}")

    def pixels(self, index):
        """Rows of (r, g, b, a) of one frame, top row first."""
        _, _, _, rows = self.frames[index]
        return [[self.colours[s] for s in row] for row in rows]


def strip_pixels(pixel_map):
    """All frames side by side, top row first; frames must share one height."""
    heights = {f[2] for f in pixel_map.frames}
    if len(heights) != 1:
        raise SystemExit(f"{pixel_map.path}: frames of a strip must have one height")
    height = heights.pop()
    rows = [[] for _ in range(height)]
    for index in range(len(pixel_map.frames)):
        for y, row in enumerate(pixel_map.pixels(index)):
            rows[y].extend(row)
    return rows


def indexed_bmp(pixel_map, rows, bits):
    """A bottom-up BMP with a palette of 2**bits entries, in legend order."""
    symbols = pixel_map.order
    capacity = 1 << bits
    if len(symbols) > capacity:
        raise SystemExit(f"{pixel_map.path}: {len(symbols)} colours do not fit {bits} bits")
    for symbol in symbols:
        if pixel_map.colours[symbol][3] != 0xFF:
            raise SystemExit(f"{pixel_map.path}: a bitmap has no alpha (symbol {symbol!r})")
    index_of = {}
    palette = b""
    for i, symbol in enumerate(symbols):
        r, g, b, _ = pixel_map.colours[symbol]
        index_of[(r, g, b, 0xFF)] = i
        palette += bytes((b, g, r, 0))
    palette += b"\0\0\0\0" * (capacity - len(symbols))

    width = len(rows[0])
    height = len(rows)
    stride = ((width * bits + 31) // 32) * 4
    data = b""
    for row in reversed(rows):
        indices = [index_of[p] for p in row]
        if bits == 8:
            line = bytes(indices)
        elif bits == 4:
            padded = indices + [0] * (len(indices) % 2)
            line = bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))
        else:
            raise SystemExit(f"unsupported depth {bits}")
        data += line + b"\0" * (stride - len(line))

    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, capacity, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return header + info + palette + data


def icon_image(rows):
    """One 32-bit icon image: BITMAPINFOHEADER, BGRA pixels, AND mask."""
    width = len(rows[0])
    height = len(rows)
    xor = b""
    for row in reversed(rows):
        xor += b"".join(bytes((b, g, r, a)) for r, g, b, a in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico_file(pixel_map, sizes):
    images = []
    for index, (name, width, height, _) in enumerate(pixel_map.frames):
        if width != height:
            raise SystemExit(f"{pixel_map.path}: icon frame {name} is not square")
        images.append((width, icon_image(pixel_map.pixels(index))))
    if sorted(w for w, _ in images) != sorted(sizes):
        raise SystemExit(f"{pixel_map.path}: icon frames must be {sizes} pixels")
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = b""
    body = b""
    for width, data in images:
        directory += struct.pack("<BBBBHHII", width % 256, width % 256, 0, 0, 1, 32, len(data), offset + len(body))
        body += data
    return header + directory + body


def build_tree_images():
    pixel_map = PixelMap(os.path.join(SOURCES, "tree_images.txt"))
    if len(pixel_map.frames) != 6 or any(f[1:3] != (16, 16) for f in pixel_map.frames):
        raise SystemExit(f"{pixel_map.path}: the strip is six frames of 16x16")
    if pixel_map.colours.get(".") != (0, 255, 0, 0xFF):
        raise SystemExit(f"{pixel_map.path}: '.' must be the mask colour 00FF00")
    rows = strip_pixels(pixel_map)
    return indexed_bmp(pixel_map, rows, 4)


def build_about():
    pixel_map = PixelMap(os.path.join(SOURCES, "about.txt"))
    if len(pixel_map.frames) != 1 or pixel_map.frames[0][1:3] != (103, 65):
        raise SystemExit(f"{pixel_map.path}: one frame of 103x65")
    rows = pixel_map.pixels(0)
    return indexed_bmp(pixel_map, rows, 8)


def build_icon():
    return ico_file(PixelMap(os.path.join(SOURCES, "portolan.txt")), [16, 32, 48])


TARGETS = [
    ("tree_images.bmp", build_tree_images),
    ("about.bmp", build_about),
    ("portolan.ico", build_icon),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the files in res/ instead of writing")
    args = parser.parse_args()

    stale = []
    for name, build in TARGETS:
        data = build()
        path = os.path.join(RES, name)
        if args.check:
            with open(path, "rb") as f:
                if f.read() != data:
                    stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("stale, run tools/make_images.py: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
