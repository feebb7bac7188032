#!/usr/bin/python3
"""Draws one window of a photo in two palettes and both mixes: a column per palette, and three
rows of previews. Auto Colors' Faithful choice made for the bytes' average, as its preview
shows it; the same picture as a screen shows it (the frames' light averaged); the choice made
for the mix as light, as a screen shows it.

    tools/model_grid.py PHOTO OUT.png [--crop X,Y] [--scale fit|PERCENT]
                        [--palettes pepto,colodore] [--zoom N] [--build build]

Runs build/cli/vantrel-convert for the previews. Needs Debian's python3-pil (scripts/install-deps.sh
installs it).
"""

import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

from contact_sheet import HEIGHT, WIDTH, font

ROWS = ["made for the bytes' average, its preview", "the same, as a screen shows it",
        "made with --mix light, as a screen shows it"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("photo")
    parser.add_argument("out")
    parser.add_argument("--crop", default="0,0")
    parser.add_argument("--scale", default="100")
    parser.add_argument("--palettes", default="pepto,colodore")
    parser.add_argument("--zoom", type=int, default=2, help="pixels per C64 pixel")
    parser.add_argument("--build", default="build")
    args = parser.parse_args()
    palettes = args.palettes.split(",")
    if len(palettes) != 2:
        sys.exit("--palettes names two palettes")

    cli = os.path.join(args.build, "cli", "vantrel-convert")

    def convert(*arguments):
        run = subprocess.run([cli, *arguments], capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(run.stderr.strip() or f"{cli} failed")
        return run.stdout.split()[0] if run.stdout else ""

    window = ["--scale", args.scale, "--crop", args.crop, "--auto-colours"]
    previews, roles = {}, {}
    with tempfile.TemporaryDirectory() as work:
        for palette in palettes:
            at = lambda name: os.path.join(work, f"{palette}-{name}")
            roles[palette, 0] = convert(args.photo, *window, "--palette", palette,
                                        "-o", at("0.png"), "-o", at("0.bin"))
            roles[palette, 1] = roles[palette, 0]
            convert(at("0.bin"), "--palette", palette, "--mix", "light", "-o", at("1.png"))
            roles[palette, 2] = convert(args.photo, *window, "--palette", palette,
                                        "--mix", "light", "-o", at("2.png"))
            for row in range(3):
                previews[palette, row] = Image.open(at(f"{row}.png")).convert("RGB")

    z = args.zoom
    cell_w, cell_h = WIDTH * z, HEIGHT * z
    gap, header_h, caption_h = 12, 26, 22
    title = font(16)
    small = font(13)
    sheet_w = 2 * cell_w + 3 * gap
    sheet_h = header_h + len(ROWS) * (header_h + cell_h + caption_h) + gap
    sheet = Image.new("RGB", (sheet_w, sheet_h), "white")
    draw = ImageDraw.Draw(sheet)
    name = os.path.basename(args.photo)
    draw.text((gap, 4), f"{name}, window at {args.crop}, scale {args.scale}: Auto Colors, Faithful",
              fill="black", font=title)
    for row, caption in enumerate(ROWS):
        y = header_h + row * (header_h + cell_h + caption_h)
        for col, palette in enumerate(palettes):
            x = gap + col * (cell_w + gap)
            draw.text((x, y + 4), f"{palette}: {caption}", fill="black", font=small)
            sheet.paste(previews[palette, row].resize((cell_w, cell_h), Image.NEAREST),
                        (x, y + header_h))
            draw.text((x, y + header_h + cell_h + 3), f"roles {roles[palette, row]}",
                      fill="#555555", font=small)
    # Few colours in all: a palette keeps the file small.
    sheet.quantize(colors=256, method=Image.MEDIANCUT).save(args.out, optimize=True)


if __name__ == "__main__":
    main()
