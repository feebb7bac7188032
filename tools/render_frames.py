#!/usr/bin/env python3
"""Shows what a C64 data file puts on the screen: for each file given, one row of three
pictures, each 192 x 200 pixels: what the eye sees (the two frames mixed), frame 1 and
frame 2. Where frame 1 and frame 2 differ much in lightness, the picture flickers.

    build/cli/vantrel-convert photo.jpg -o picture.bin
    tools/render_frames.py frames.png picture.bin [another.bin ...]

It reads the file as "Save C64 Data" writes it (two 16 KiB banks, the sprite colours in bytes
$07E8 and $07E9) and writes a PNG. Plain Python 3, no modules beyond the standard library.
"""

import argparse
import struct
import sys
import zlib

WIDTH, HEIGHT = 192, 200
BANK = 0x4000
GAP = 8  # pixels between the pictures

# The sixteen C64 colours as (red, green, blue), by colour code.
PALETTE = [
    (0, 0, 0), (255, 255, 255), (104, 55, 43), (112, 164, 178),
    (111, 61, 134), (88, 141, 67), (53, 40, 121), (184, 199, 111),
    (111, 79, 37), (67, 57, 0), (154, 103, 89), (68, 68, 68),
    (108, 108, 108), (154, 210, 132), (108, 94, 181), (149, 149, 149),
]


def bit(byte, x):
    return (byte >> (7 - x % 8)) & 1


def frame(data, number):
    """The 192 x 200 colour codes of frame 1 or 2, as the C64 shows them."""
    bank = data[(number - 1) * BANK:number * BANK]
    sprite_colour = data[0x07E8 + number - 1] & 0x0F
    screen = bank[0x0000 + 8]  # every picture cell holds the same colour byte
    bitmap_colour, background = screen >> 4, screen & 0x0F
    codes = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            sprite = bank[0x0800 + 512 * (y // 21) + 64 * (x // 24) + 3 * (y % 21) + (x % 24) // 8]
            pixel = bank[0x2000 + (y // 8) * 320 + (x // 8 + 8) * 8 + y % 8]
            if bit(sprite, x):
                row.append(sprite_colour)
            elif bit(pixel, x):
                row.append(bitmap_colour)
            else:
                row.append(background)
        codes.append(row)
    return codes


def rows_of(data):
    """One row of the output: mixed, frame 1, frame 2, as lists of (r, g, b) per line."""
    first, second = frame(data, 1), frame(data, 2)
    lines = []
    for y in range(HEIGHT):
        mixed, one, two = [], [], []
        for x in range(WIDTH):
            a, b = PALETTE[first[y][x]], PALETTE[second[y][x]]
            mixed.append(tuple((p + q) // 2 for p, q in zip(a, b)))
            one.append(a)
            two.append(b)
        gap = [(255, 255, 255)] * GAP
        lines.append(mixed + gap + one + gap + two)
    return lines


def write_png(path, lines):
    height, width = len(lines), len(lines[0])
    raw = b"".join(b"\x00" + bytes(c for pixel in line for c in pixel) for line in lines)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output", help="the PNG to write")
    parser.add_argument("data", nargs="+", help="C64 data files (32768 bytes)")
    args = parser.parse_args()
    lines = []
    for name in args.data:
        with open(name, "rb") as f:
            data = f.read()
        if len(data) != 2 * BANK:
            sys.exit(f"{name}: not a C64 data file ({len(data)} bytes, 32768 expected)")
        if lines:
            lines += [[(255, 255, 255)] * len(lines[0])] * GAP
        lines += rows_of(data)
    write_png(args.output, lines)


if __name__ == "__main__":
    main()
