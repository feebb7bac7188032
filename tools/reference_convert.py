#!/usr/bin/env python3
"""Reference model of the crop, channel offsets and conversion, written straight from the
rules of the program, for checking the C++ library end to end.

It reads the decoded picture as a binary PPM, e.g.

    djpeg -dct float -ppm tests/data/astronaut.jpg > /tmp/astronaut.ppm
    tools/reference_convert.py /tmp/astronaut.ppm

and prints the SHA-256 of the four layer planes (Bitmap1Bits, Sprite1Bits, Bitmap2Bits,
Sprite2Bits, 38400 bytes of 0/1 each, concatenated in that order) and the SHA-256 of the
preview (192 x 200 pixels, bytes red, green, blue, row by row). Plain Python 3, no modules
beyond the standard library.
"""

import argparse
import hashlib
import sys

WIDTH, HEIGHT = 192, 200
COUNT = WIDTH * HEIGHT

# The sixteen C64 colours as (red, green, blue), by colour code.
PALETTE = [
    (0, 0, 0), (255, 255, 255), (104, 55, 43), (112, 164, 178),
    (111, 61, 134), (88, 141, 67), (53, 40, 121), (184, 199, 111),
    (111, 79, 37), (67, 57, 0), (154, 103, 89), (68, 68, 68),
    (108, 108, 108), (154, 210, 132), (108, 94, 181), (149, 149, 149),
]

# MixCode 1..9: which role frame 1 and frame 2 show
# (0 background, 1 bitmap 1, 2 sprite 1, 3 bitmap 2, 4 sprite 2).
MIX_ROLES = [(0, 0), (1, 0), (2, 0), (0, 3), (0, 4), (1, 3), (1, 4), (2, 3), (2, 4)]

# MixCode 1..9 -> (Bitmap1Bits, Sprite1Bits, Bitmap2Bits, Sprite2Bits).
LAYER_BITS = {
    1: (0, 0, 0, 0), 2: (1, 0, 0, 0), 3: (1, 1, 0, 0), 4: (0, 0, 1, 0), 5: (0, 0, 0, 1),
    6: (1, 0, 1, 0), 7: (1, 0, 0, 1), 8: (0, 1, 1, 0), 9: (0, 1, 0, 1),
}


def tcolor(r, g, b):
    return r | (g << 8) | (b << 16)


def read_ppm(path):
    """Returns (width, height, rows of (r, g, b)) of a binary P6 file with maxval 255."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1  # the single whitespace byte after maxval
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not a binary PPM with maxval 255")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + width * height * 3]
    if len(pixels) != width * height * 3:
        raise ValueError("PPM file is truncated")
    return width, height, pixels


def mix_table(roles):
    colours = [tcolor(*PALETTE[index & 15]) for index in roles]
    table = []
    for first, second in MIX_ROLES:
        a, b = colours[first], colours[second]
        table.append(tcolor(((a & 255) + (b & 255)) // 2,
                            (((a >> 8) & 255) + ((b >> 8) & 255)) // 2,
                            (((a >> 16) & 255) + ((b >> 16) & 255)) // 2))
    return table


class Converter:
    def __init__(self, table):
        self.table = table
        self.last_mix_code = 0

    def nearest_mix(self, packed):
        """Nearest mix colour of a PackedRGB value: nine (code, distance) pairs put in order
        by a fixed bubble sort of eight passes, swapping on a strictly smaller distance."""
        r, g, b = (packed >> 16) & 255, (packed >> 8) & 255, packed & 255
        pairs = []
        for k in range(1, 10):
            m = self.table[k - 1]
            d = abs((m & 255) - r) + abs(((m >> 8) & 255) - g) + abs(((m >> 16) & 255) - b)
            pairs.append((k, d))
        for _ in range(8):
            for j in range(8):
                if pairs[j + 1][1] < pairs[j][1]:
                    pairs[j], pairs[j + 1] = pairs[j + 1], pairs[j]
        self.last_mix_code = pairs[0][0]
        return self.table[self.last_mix_code - 1]


def trunc_div16(value):
    """Signed division that truncates toward zero."""
    return value // 16 if value >= 0 else -((-value) // 16)


def convert(image1, table, dither):
    """image1: 38400 TColor words. Returns (layer planes, work planes)."""
    conv = Converter(table)
    red, green, blue = bytearray(COUNT), bytearray(COUNT), bytearray(COUNT)
    planes = (red, green, blue)

    # Pass 1: read the view back.
    for i in range(COUNT):
        c = image1[i]
        red[i], green[i], blue[i] = c & 255, (c >> 8) & 255, (c >> 16) & 255

    # Pass 2: error diffusion.
    for i in range(COUNT):
        v = (red[i], green[i], blue[i])
        m = conv.nearest_mix((v[0] << 16) | (v[1] << 8) | v[2])
        if not dither:
            continue
        mix = (m & 255, (m >> 8) & 255, (m >> 16) & 255)
        for channel in range(3):
            e = trunc_div16(v[channel] - mix[channel])
            plane = planes[channel]
            for offset, weight in ((1, 7), (191, 3), (192, 5), (193, 1)):
                target = i + offset
                if target >= COUNT:
                    continue
                plane[target] = min(255, max(0, plane[target] + weight * e))

    # Pass 3: classification.
    layers = [bytearray(COUNT) for _ in range(4)]
    for i in range(COUNT):
        m = conv.nearest_mix((red[i] << 16) | (green[i] << 8) | blue[i])
        for plane, bit in zip(layers, LAYER_BITS[conv.last_mix_code]):
            plane[i] = bit
        red[i], green[i], blue[i] = m & 255, (m >> 8) & 255, (m >> 16) & 255
    return layers, planes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("ppm", help="decoded picture, binary PPM (djpeg -dct float -ppm)")
    parser.add_argument("-r", type=int, default=0, help="red offset, -255..255")
    parser.add_argument("-g", type=int, default=0, help="green offset, -255..255")
    parser.add_argument("-b", type=int, default=0, help="blue offset, -255..255")
    parser.add_argument("--roles", default="0,2,3,7,10",
                        help="palette indices of background, bitmap 1, sprite 1, bitmap 2, "
                             "sprite 2")
    parser.add_argument("--no-dither", action="store_true", help="plain nearest colours")
    args = parser.parse_args()

    roles = [int(v) for v in args.roles.split(",")]
    if len(roles) != 5 or any(not 0 <= v <= 15 for v in roles):
        parser.error("--roles needs five palette indices 0..15")
    offsets = [max(-255, min(255, v)) for v in (args.r, args.g, args.b)]
    try:
        width, height, pixels = read_ppm(args.ppm)
    except (OSError, ValueError) as error:
        print(f"{args.ppm}: {error}", file=sys.stderr)
        return 1

    # The picture drawn at (0, 0) into a view that starts black, read back as PackedRGB.
    source_window = [0] * COUNT
    for y in range(min(HEIGHT, height)):
        for x in range(min(WIDTH, width)):
            p = (y * width + x) * 3
            source_window[y * WIDTH + x] = (pixels[p] << 16) | (pixels[p + 1] << 8) | pixels[p + 2]

    # Channel offsets, clamped per channel, written into the view as TColor.
    image1 = []
    for w in source_window:
        r = min(255, max(0, ((w >> 16) & 255) + offsets[0]))
        g = min(255, max(0, ((w >> 8) & 255) + offsets[1]))
        b = min(255, max(0, (w & 255) + offsets[2]))
        image1.append(tcolor(r, g, b))

    layers, planes = convert(image1, mix_table(roles), not args.no_dither)

    layer_digest = hashlib.sha256(b"".join(bytes(plane) for plane in layers)).hexdigest()
    preview = bytearray()
    for i in range(COUNT):
        preview += bytes((planes[0][i], planes[1][i], planes[2][i]))
    print(f"layers  {layer_digest}")
    print(f"preview {hashlib.sha256(bytes(preview)).hexdigest()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
