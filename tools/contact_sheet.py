#!/usr/bin/python3
"""Draws a contact sheet of Auto Colors for one window of a photo: the window itself, then a
row per goal (Faithful, Balanced, Calm) and a column per dithering (none, Floyd-Steinberg,
low flicker), each cell the preview of that conversion (what the eye sees of the two frames)
with its S-CIELAB at 12 and 24 pixels per degree and its flicker, mean |L*(frame 1) - L*(frame
2)|. With --cells, a row per goal with two columns for one dithering: the goal's global roles
beside colours per cell found from them, each with its blockiness too (1.0: no cells show).

    tools/contact_sheet.py PHOTO OUT.png [--crop X,Y] [--scale fit|PERCENT] [--zoom N]
                           [--cells [--dithering none|fs|low-flicker]] [--build build]

Runs build/tools/vantrel-sheet-cells (built with the program) for the numbers and previews.
Needs Debian's python3-pil (scripts/install-deps.sh installs it).
"""

import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

GOALS = [("faithful", "Faithful"), ("balanced", "Balanced"), ("calm", "Calm")]
DITHERINGS = [("none", "None"), ("fs", "Floyd-Steinberg"), ("low-flicker", "Low Flicker")]
WIDTH, HEIGHT = 192, 200


def font(size):
    for path in ("/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                 "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"):
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("photo")
    parser.add_argument("out")
    parser.add_argument("--crop", default="0,0")
    parser.add_argument("--scale", default="100")
    parser.add_argument("--zoom", type=int, default=2, help="pixels per C64 pixel")
    parser.add_argument("--cells", action="store_true",
                        help="global roles against colours per cell, for one dithering")
    parser.add_argument("--dithering", default="fs", choices=[d for d, _ in DITHERINGS])
    parser.add_argument("--build", default="build")
    args = parser.parse_args()

    helper = os.path.join(args.build, "tools", "vantrel-sheet-cells")
    with tempfile.TemporaryDirectory() as work:
        command = [helper, args.photo, args.crop, args.scale, work]
        if args.cells:
            command += ["cells", args.dithering]
        run = subprocess.run(command, capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(run.stderr.strip() or f"{helper} failed")
        cells = {}
        for line in run.stdout.splitlines():
            goal, dithering, roles, near, far, flicker, blockiness = line.split()[:7]
            cells[goal, dithering] = (roles, float(near), float(far), float(flicker),
                                      float(blockiness))
        images = {key: Image.open(os.path.join(work, f"{key[0]}-{key[1]}.ppm")).convert("RGB")
                  for key in cells}
        photo = Image.open(os.path.join(work, "photo.ppm")).convert("RGB")

    if args.cells:
        sheet = cells_sheet(args, cells, images, photo)
    else:
        sheet = dithering_sheet(args, cells, images, photo)
    # Few colours in all: a palette keeps the file small.
    sheet.quantize(colors=256, method=Image.MEDIANCUT).save(args.out, optimize=True)


def dithering_sheet(args, cells, images, photo):
    """A row per goal, a column per dithering, the global roles' conversions."""
    def cell(goal, col):
        dithering = DITHERINGS[col][0]
        roles, near, far, flicker, _ = cells[goal, dithering]
        return (images[goal, dithering], f"{near:.1f} / {far:.1f}, flicker {flicker:.1f}",
                f"roles {roles}")

    heading = f"{os.path.basename(args.photo)}, window at {args.crop}, scale {args.scale}"
    legend = ("Each cell: S-CIELAB at 12 / 24 pixels per degree,\nflicker (mean |L*1 - L*2|), "
              "and the five roles.")
    return draw_sheet(args, photo, heading, legend, [c for _, c in DITHERINGS], cell)


def cells_sheet(args, cells, images, photo):
    """A row per goal: the global roles' conversion beside colours per cell found from them."""
    def cell(goal, col):
        key = goal if col == 0 else "cells-" + goal
        roles, near, far, flicker, blockiness = cells[key, args.dithering]
        parts = roles.split(",")
        return (images[key, args.dithering],
                f"{near:.1f} / {far:.1f}, flicker {flicker:.1f}, blocks {blockiness:.2f}",
                f"roles {roles}" if col == 0 else f"sprites {parts[2]},{parts[4]}")

    heading = (f"{os.path.basename(args.photo)}, window at {args.crop}, scale {args.scale}, "
               f"{dict(DITHERINGS)[args.dithering]}")
    legend = ("Each cell: S-CIELAB at 12 / 24 pixels\nper degree, flicker (mean |L*1 - L*2|),\n"
              "blockiness (1.0: no cells show).\n\nGlobal: the goal's five roles.\n"
              "Per cell: every 8 x 8 cell its own\nbackground and bitmap colour in each\n"
              "frame, found from those roles; the\nsprite colours it chose.")
    return draw_sheet(args, photo, heading, legend, ["Global roles", "Colours per cell"], cell)


def draw_sheet(args, photo, heading, legend, captions, cell):
    """The photo and the legend on top, then a row per goal and a column per caption; cell(goal,
    column) gives the picture and the two lines under it."""
    z = args.zoom
    cell_w, cell_h = WIDTH * z, HEIGHT * z
    gap, label_w, caption_h, header_h = 12, 90, 34, 26
    title = font(16)
    small = font(13)
    sheet_w = label_w + len(captions) * (cell_w + gap) + gap
    top = header_h + cell_h + caption_h + gap
    sheet_h = top + header_h + 3 * (cell_h + caption_h + gap)
    sheet = Image.new("RGB", (sheet_w, sheet_h), "white")
    draw = ImageDraw.Draw(sheet)

    draw.text((gap, 4), heading, fill="black", font=title)
    sheet.paste(photo.resize((cell_w, cell_h), Image.NEAREST), (label_w + gap, header_h))
    draw.text((label_w + 2 * gap + cell_w, header_h + 4), legend, fill="black", font=small)
    for col, caption in enumerate(captions):
        x = label_w + gap + col * (cell_w + gap)
        draw.text((x, top + 4), caption, fill="black", font=title)
    for row, (goal, goal_caption) in enumerate(GOALS):
        y = top + header_h + row * (cell_h + caption_h + gap)
        draw.text((gap, y + cell_h // 2 - 8), goal_caption, fill="black", font=title)
        for col in range(len(captions)):
            x = label_w + gap + col * (cell_w + gap)
            image, numbers, colours = cell(goal, col)
            sheet.paste(image.resize((cell_w, cell_h), Image.NEAREST), (x, y))
            draw.text((x, y + cell_h + 2), numbers, fill="black", font=title)
            draw.text((x, y + cell_h + 19), colours, fill="#555555", font=small)
    return sheet


if __name__ == "__main__":
    main()
