#!/usr/bin/env python3
"""Writes the pictures of this folder that ImageMagick cannot make: bitmaps
with a core header, top-down rows, an 8-bit table of six colours and both
run-length encodings, and the metafiles. Each shows the same 3 x 2 pattern as
the other files where it has pixels: red, lime, blue over white, black, olive.
Run it in this folder."""
import struct

PALETTE = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (128, 128, 0)]
TOP, BOTTOM = [1, 2, 3], [4, 0, 5]  # palette indices of the two rows


def bmp(header, table, pixels):
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + table + pixels


def info_header(width, height, bits, compression, colors, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_size, 2835, 2835, colors, 0)


def table4():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def bgr(i):
    r, g, b = PALETTE[i]
    return bytes((b, g, r))


def row24(indices):
    row = b"".join(bgr(i) for i in indices)
    return row + b"\0" * (-len(row) % 4)


# Core (12-byte) header, 24 bits, bottom-up.
core = struct.pack("<IHHHH", 12, 3, 2, 1, 24)
open("core24.bmp", "wb").write(bmp(core, b"", row24(BOTTOM) + row24(TOP)))

# Info header, 32 bits without masks (the fourth byte is not alpha), top-down.
px = b"".join(bgr(i) + b"\x00" for i in TOP + BOTTOM)
open("topdown32.bmp", "wb").write(bmp(info_header(3, -2, 32, 0, 0, len(px)), b"", px))

# 8 bits with a table of six colours (an index past them is black).
px = bytes(BOTTOM) + b"\0" + bytes(TOP) + b"\0"
open("pal8.bmp", "wb").write(bmp(info_header(3, 2, 8, 0, 6, len(px)), table4(), px))

# Run-length, 8 bits: the bottom row as an absolute run, the top one as runs.
rle = bytes([0, 3, 4, 0, 5, 0, 0, 0]) + bytes([1, 1, 1, 2, 1, 3, 0, 1])
open("rle8.bmp", "wb").write(bmp(info_header(3, 2, 8, 1, 6, len(rle)), table4(), rle))

# Run-length, 4 bits: absolute nibbles below; a run of one and a run of two
# alternating nibbles above.
rle = bytes([0, 3, 0x40, 0x50, 0, 0]) + bytes([1, 0x10, 2, 0x23, 0, 1])
open("rle4.bmp", "wb").write(bmp(info_header(3, 2, 4, 2, 6, len(rle)), table4(), rle))


def wmf_records():
    records = [
        struct.pack("<IHhh", 5, 0x020B, 0, 0),  # SETWINDOWORG
        struct.pack("<IHhh", 5, 0x020C, 720, 1440),  # SETWINDOWEXT
        struct.pack("<IHhhhh", 7, 0x041B, 700, 1400, 20, 40),  # RECTANGLE
        struct.pack("<IH", 3, 0),  # EOF
    ]
    body = b"".join(records)
    size_words = (18 + len(body)) // 2
    return struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, 0, 7, 0) + body


# Placeable: a 1440 x 720 box at 1440 units to the inch is 96 x 48 pixels.
placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 1440, 720, 1440, 0)
checksum = 0
for (word,) in struct.iter_unpack("<H", placeable):
    checksum ^= word
open("placeable.wmf", "wb").write(placeable + struct.pack("<H", checksum) + wmf_records())
open("plain.wmf", "wb").write(wmf_records())

# Enhanced metafile: bounds 0,0 - 99,49 (100 x 50 pixels).
rect = struct.pack("<IIiiii", 43, 24, 10, 10, 90, 40)
eof = struct.pack("<IIIII", 14, 20, 0, 16, 20)
total = 88 + len(rect) + len(eof)
header = struct.pack("<II4i4iIIIIHHIIIiiii", 1, 88, 0, 0, 99, 49, 0, 0, 2645, 1322, 0x464D4520, 0x10000,
                     total, 3, 1, 0, 0, 0, 0, 1024, 768, 270, 203)
open("bounds.emf", "wb").write(header + rect + eof)
