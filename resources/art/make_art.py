#!/usr/bin/env python3
"""Draws the desktop program's artwork and writes it as Windows resource files.

    make_art.py OUTDIR

writes OUTDIR/toolbar.bmp (twelve 32 x 32 toolbar images side by side, 24-bit, on the
magenta mask colour), OUTDIR/toolbar16.bmp (the handheld program's ten toolbar images at
16 x 16, in its own button order) and four icons, each 16 x 16 and 32 x 32, 32-bit with
alpha: Orvid and Orlet (the program icons), SiteGroup (a folder) and Site (a server), the
Site Manager's tree icons.

An icon is a directory resource naming one image resource per size, and image numbers
share one space across every resource file linked into a program. The resource compiler
numbers the images of each file from 1, so two files with icons would claim the same images
and the linker would keep only one picture. The icons are therefore written as raw resources
with image numbers handed out here, once for all of them. For each icon STEM:
OUTDIR/STEM-SIZE.iconimage (one image), OUTDIR/STEM.icongroup (its directory) and
OUTDIR/STEM.icon.rc, the fragment a .rc file includes in place of an ICON statement.

Everything is drawn from simple shapes by the small rasteriser below, so the build needs
nothing but python3.
"""

import math
import os
import struct
import sys

CELL = 32
SUBSAMPLES = 4
MASK_COLOUR = (255, 0, 255)
# A toolbar pixel counts as drawn once its coverage reaches half; the rest becomes the mask
# colour, so the image list's mask never leaves a fringe of blended magenta.
OPAQUE_THRESHOLD = 128
ICON_SIZES = (16, 32)
# Resource types of an icon's images and of its directory.
RT_ICON = 3
RT_GROUP_ICON = 14
# The first image number; the resource compiler numbers the images of an ICON statement
# from 1, so ours stay clear of any such statement.
FIRST_ICON_IMAGE_ID = 101

BLACK = (40, 40, 40)
OUTLINE = (60, 60, 70)
WHITE = (255, 255, 255)
PAPER = (250, 250, 246)
LINE_BLUE = (90, 130, 200)
BLUE = (40, 100, 200)
DARK_BLUE = (20, 60, 140)
LIGHT_BLUE = (170, 210, 245)
GREEN = (40, 160, 60)
DARK_GREEN = (20, 110, 40)
RED = (210, 40, 40)
DARK_RED = (140, 20, 20)
YELLOW = (250, 205, 60)
DARK_YELLOW = (190, 140, 20)
GREY = (150, 150, 155)
DARK_GREY = (90, 90, 95)
LIGHT_GREY = (210, 210, 215)
BROWN = (170, 110, 50)
DARK_BROWN = (110, 70, 30)
PINK = (240, 170, 160)


class Canvas:
    """An RGBA canvas; shapes are given as inside-tests and painted with their coverage."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def paint(self, inside, bounds, colour, origin=(0.0, 0.0), scale=1.0, clip=None):
        """Paints every pixel whose area the test covers, with alpha = covered share.

        `inside` takes coordinates in the drawing's own units; `origin` and `scale` place
        the drawing on the canvas, `bounds` (x0, y0, x1, y1) limits the search in drawing units
        and `clip` (x0, y0, x1, y1), in canvas pixels, keeps the drawing inside its own cell.
        """
        ox, oy = origin
        x0 = max(0, int(math.floor(ox + bounds[0] * scale)))
        y0 = max(0, int(math.floor(oy + bounds[1] * scale)))
        x1 = min(self.width, int(math.ceil(ox + bounds[2] * scale)) + 1)
        y1 = min(self.height, int(math.ceil(oy + bounds[3] * scale)) + 1)
        if clip is not None:
            x0, y0 = max(x0, clip[0]), max(y0, clip[1])
            x1, y1 = min(x1, clip[2]), min(y1, clip[3])
        step = 1.0 / SUBSAMPLES
        total = SUBSAMPLES * SUBSAMPLES
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SUBSAMPLES):
                    y = (py + (sy + 0.5) * step - oy) / scale
                    for sx in range(SUBSAMPLES):
                        x = (px + (sx + 0.5) * step - ox) / scale
                        if inside(x, y):
                            hits += 1
                if hits:
                    self.blend(px, py, colour, hits / total)

    def blend(self, x, y, colour, coverage):
        r, g, b, a = self.pixels[y][x]
        src_a = coverage
        dst_a = a / 255.0
        out_a = src_a + dst_a * (1.0 - src_a)
        if out_a <= 0.0:
            return

        def mix(src, dst):
            return (src * src_a + dst * dst_a * (1.0 - src_a)) / out_a

        self.pixels[y][x] = (
            int(round(mix(colour[0], r))),
            int(round(mix(colour[1], g))),
            int(round(mix(colour[2], b))),
            int(round(out_a * 255)),
        )


class Pen:
    """Draws shapes in a 32-unit design space onto a region of a canvas."""

    def __init__(self, canvas, left, top, size):
        self.canvas = canvas
        self.origin = (float(left), float(top))
        self.scale = size / float(CELL)
        self.clip = (left, top, left + size, top + size)

    def _paint(self, inside, bounds, colour):
        self.canvas.paint(inside, bounds, colour, self.origin, self.scale, self.clip)

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            if radius <= 0.0:
                return True
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

        self._paint(inside, (x0, y0, x1, y1), colour)

    def framed_rect(self, x0, y0, x1, y1, fill, frame, width=1.0, radius=0.0):
        self.rect(x0, y0, x1, y1, frame, radius)
        self.rect(x0 + width, y0 + width, x1 - width, y1 - width, fill, max(0.0, radius - width))

    def ellipse(self, cx, cy, rx, ry, colour):
        def inside(x, y):
            return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

        self._paint(inside, (cx - rx, cy - ry, cx + rx, cy + ry), colour)

    def circle(self, cx, cy, r, colour):
        self.ellipse(cx, cy, r, r, colour)

    def ring(self, cx, cy, r, width, colour):
        inner = r - width

        def inside(x, y):
            d = (x - cx) ** 2 + (y - cy) ** 2
            return inner * inner <= d <= r * r

        self._paint(inside, (cx - r, cy - r, cx + r, cy + r), colour)

    def elliptic_ring(self, cx, cy, rx, ry, width, colour):
        def inside(x, y):
            outer = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
            inner = ((x - cx) / (rx - width)) ** 2 + ((y - cy) / (ry - width)) ** 2
            return outer <= 1.0 <= inner

        self._paint(inside, (cx - rx, cy - ry, cx + rx, cy + ry), colour)

    def line(self, x0, y0, x1, y1, width, colour):
        """A stroke with round ends."""
        half = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy

        def inside(x, y):
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= half * half

        bounds = (min(x0, x1) - half, min(y0, y1) - half, max(x0, x1) + half, max(y0, y1) + half)
        self._paint(inside, bounds, colour)

    def polygon(self, points, colour):
        """A filled polygon (even-odd rule)."""
        count = len(points)

        def inside(x, y):
            result = False
            j = count - 1
            for i in range(count):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self._paint(inside, (min(xs), min(ys), max(xs), max(ys)), colour)

    def outline(self, points, width, colour):
        for i in range(len(points)):
            a = points[i]
            b = points[(i + 1) % len(points)]
            self.line(a[0], a[1], b[0], b[1], width, colour)

    def framed_polygon(self, points, fill, frame, width=1.5):
        self.polygon(points, fill)
        self.outline(points, width, frame)


# --- The twelve toolbar pictograms, each in a 32 x 32 design space. ---


def draw_plug(pen, x, y, body, dark):
    """A plug whose prongs end at (x, y), with its cable leaving to the left."""
    pen.line(x - 18, y, x - 10, y, 3.0, DARK_GREY)
    pen.framed_rect(x - 13, y - 7, x - 5, y + 7, body, dark, 1.2, 2.0)
    pen.rect(x - 5.5, y - 4.5, x, y - 2, GREY)
    pen.rect(x - 5.5, y + 2, x, y + 4.5, GREY)


def draw_socket(pen, x, y, body, dark):
    """A socket whose open face is at (x, y), with its cable leaving to the right."""
    pen.line(x + 10, y, x + 18, y, 3.0, DARK_GREY)
    pen.framed_rect(x, y - 7, x + 8, y + 7, body, dark, 1.2, 2.0)
    pen.rect(x, y - 4.5, x + 2, y + 4.5, dark)


def draw_connect(pen):
    draw_plug(pen, 18, 16, GREEN, DARK_GREEN)
    draw_socket(pen, 15, 16, GREEN, DARK_GREEN)


def draw_disconnect(pen):
    draw_plug(pen, 14, 20, LIGHT_GREY, DARK_GREY)
    draw_socket(pen, 18, 10, LIGHT_GREY, DARK_GREY)
    pen.line(20, 22, 25, 27, 2.4, RED)
    pen.line(25, 22, 20, 27, 2.4, RED)


def draw_page(pen, x0, y0, x1, y1, lines=True):
    fold = 5
    points = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    pen.framed_polygon(points, PAPER, OUTLINE, 1.2)
    pen.polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)], LIGHT_GREY)
    pen.outline([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)], 1.0, OUTLINE)
    if lines:
        y = y0 + fold + 3
        while y < y1 - 2:
            pen.line(x0 + 3, y, x1 - 3, y, 1.2, LINE_BLUE)
            y += 3


def draw_copy(pen):
    draw_page(pen, 4, 3, 19, 22)
    draw_page(pen, 12, 10, 27, 29)


def draw_paste(pen):
    pen.framed_rect(5, 5, 25, 29, BROWN, DARK_BROWN, 1.2, 2.0)
    pen.framed_rect(10, 2.5, 20, 8, LIGHT_GREY, DARK_GREY, 1.2, 1.5)
    draw_page(pen, 13, 11, 28, 30)


def draw_folder(pen):
    pen.framed_polygon([(3, 8), (11, 8), (13, 10), (27, 10), (27, 26), (3, 26)], DARK_YELLOW, DARK_BROWN, 1.2)
    pen.framed_polygon([(3, 26), (6, 14), (30, 14), (27, 26)], YELLOW, DARK_BROWN, 1.2)


def draw_new_directory(pen):
    draw_folder(pen)
    pen.circle(24, 22, 7, WHITE)
    pen.circle(24, 22, 6, GREEN)
    pen.line(20.5, 22, 27.5, 22, 2.2, WHITE)
    pen.line(24, 18.5, 24, 25.5, 2.2, WHITE)


def draw_rename(pen):
    pen.framed_rect(2, 9, 27, 22, WHITE, OUTLINE, 1.2, 1.0)
    pen.rect(5, 12, 15, 19, LIGHT_BLUE)
    pen.line(18, 11.5, 18, 19.5, 1.4, BLACK)
    pen.line(16, 11.5, 20, 11.5, 1.2, BLACK)
    pen.line(16, 19.5, 20, 19.5, 1.2, BLACK)
    # A pencil lying from the top right down towards the field.
    body = [(22, 25), (29, 18), (32, 21), (25, 28)]
    pen.framed_polygon(body, YELLOW, DARK_BROWN, 1.0)
    pen.framed_polygon([(22, 25), (25, 28), (19.5, 30.5)], PINK, DARK_BROWN, 1.0)
    pen.polygon([(19.5, 30.5), (20.5, 28), (22, 29.5)], BLACK)


def draw_delete(pen):
    pen.line(7, 7, 25, 25, 6.5, DARK_RED)
    pen.line(25, 7, 7, 25, 6.5, DARK_RED)
    pen.line(7, 7, 25, 25, 4.5, RED)
    pen.line(25, 7, 7, 25, 4.5, RED)


def draw_properties(pen):
    pen.framed_rect(6, 3, 26, 29, PAPER, OUTLINE, 1.2)
    pen.rect(7.2, 4.2, 24.8, 9, BLUE)
    for row in range(5):
        y = 13 + row * 3.4
        pen.rect(9, y - 0.7, 12, y + 0.7, DARK_GREY)
        pen.rect(14, y - 0.7, 23, y + 0.7, LINE_BLUE)


def draw_chmod(pen):
    pen.ring(16, 13, 8, 2.8, DARK_GREY)
    pen.ring(16, 13, 7, 1.2, GREY)
    pen.rect(8, 13, 10.8, 17, DARK_GREY)
    pen.rect(21.2, 13, 24, 17, DARK_GREY)
    pen.framed_rect(5, 15, 27, 30, YELLOW, DARK_BROWN, 1.2, 2.0)
    pen.circle(16, 21, 2.5, DARK_BROWN)
    pen.polygon([(15, 21), (17, 21), (17.6, 26.5), (14.4, 26.5)], DARK_BROWN)


def draw_find(pen):
    pen.line(19, 19, 28, 28, 5.0, DARK_BROWN)
    pen.line(19, 19, 28, 28, 3.0, BROWN)
    pen.circle(13, 13, 10, OUTLINE)
    pen.circle(13, 13, 8, LIGHT_BLUE)
    pen.ellipse(10, 10, 3, 2, WHITE)


def draw_filter(pen):
    funnel = [(3, 4), (29, 4), (19, 16), (19, 27), (13, 30), (13, 16)]
    pen.framed_polygon(funnel, BLUE, DARK_BLUE, 1.4)
    pen.polygon([(6, 5.5), (26, 5.5), (24, 8), (8, 8)], LIGHT_BLUE)


def draw_about(pen):
    pen.circle(16, 16, 14, DARK_BLUE)
    pen.circle(16, 16, 12.6, BLUE)
    pen.circle(16, 9, 2.4, WHITE)
    pen.rect(13.5, 13, 18.5, 24, WHITE, 0.6)
    pen.rect(12, 13, 18.5, 15, WHITE)
    pen.rect(12, 22.5, 20, 24.5, WHITE)


TOOLBAR_IMAGES = (
    draw_connect,
    draw_disconnect,
    draw_copy,
    draw_paste,
    draw_new_directory,
    draw_rename,
    draw_delete,
    draw_properties,
    draw_chmod,
    draw_find,
    draw_filter,
    draw_about,
)

# The handheld program's toolbar, in its button order, drawn at half the size.
HANDHELD_TOOLBAR_IMAGES = (
    draw_connect,
    draw_disconnect,
    draw_copy,
    draw_paste,
    draw_new_directory,
    draw_rename,
    draw_delete,
    draw_chmod,
    draw_properties,
    draw_about,
)
HANDHELD_CELL = 16


# --- The program icon: a globe with a yellow arrow. ---


def draw_program_icon(pen, small):
    pen.circle(15, 15, 13.5, DARK_BLUE)
    pen.circle(15, 15, 12.3, BLUE)
    if not small:
        pen.ring(15, 15, 12.3, 1.0, (70, 140, 230))
    grid = LIGHT_BLUE
    width = 1.8 if small else 1.1
    pen.line(3.5, 15, 26.5, 15, width, grid)
    pen.line(15, 3.5, 15, 26.5, width, grid)
    if not small:
        pen.line(5.5, 9, 24.5, 9, width, grid)
        pen.line(5.5, 21, 24.5, 21, width, grid)
    pen.elliptic_ring(15, 15, 6.0, 12.3, width, grid)
    arrow = [(13, 18), (20, 18), (20, 14), (29.5, 22), (20, 30), (20, 26), (13, 26)]
    pen.framed_polygon(arrow, YELLOW, DARK_BROWN, 1.6 if small else 1.2)


def draw_handheld_icon(pen, small):
    """A handheld device whose screen shows the globe and the arrow of the desktop icon."""
    width = 2.0 if small else 1.2
    pen.framed_rect(6, 1.5, 26, 30.5, DARK_GREY, OUTLINE, width, 3.0)
    pen.rect(8.5, 4.5, 23.5, 22, LIGHT_BLUE if small else (225, 238, 252))
    pen.circle(16, 13, 6.5, BLUE)
    if not small:
        pen.line(10, 13, 22, 13, 0.9, LIGHT_BLUE)
        pen.elliptic_ring(16, 13, 3.0, 6.5, 0.9, LIGHT_BLUE)
    pen.framed_polygon([(15, 15), (19, 15), (19, 12.5), (23.5, 17), (19, 21.5), (19, 19), (15, 19)], YELLOW,
                       DARK_BROWN, 1.4 if small else 1.0)
    pen.circle(16, 26.5, 2.2 if small else 1.8, LIGHT_GREY)


# --- The Site Manager's tree icons: a folder for a group, a server for a site. ---


def draw_group_icon(pen, small):
    width = 2.0 if small else 1.2
    pen.framed_polygon([(2, 6), (12, 6), (15, 9), (29, 9), (29, 27), (2, 27)], DARK_YELLOW, DARK_BROWN, width)
    pen.framed_polygon([(2, 27), (5.5, 13), (31, 13), (29, 27)], YELLOW, DARK_BROWN, width)


def draw_site_icon(pen, small):
    """A monitor on a stand beside a tower case."""
    width = 2.0 if small else 1.2
    pen.framed_rect(1.5, 5, 21, 20, LIGHT_GREY, OUTLINE, width, 1.5)
    pen.rect(4.5 if small else 4, 8 if small else 7.5, 18 if small else 18.5, 17 if small else 17.5, BLUE)
    if not small:
        pen.polygon([(5, 8.5), (12, 8.5), (6, 14)], LIGHT_BLUE)
    pen.rect(9, 20, 13.5, 24, DARK_GREY)
    pen.framed_rect(5, 24, 17.5, 27.5, LIGHT_GREY, OUTLINE, width * 0.8)
    pen.framed_rect(21.5, 3, 30.5, 29, LIGHT_GREY, OUTLINE, width, 1.0)
    if small:
        pen.rect(23.5, 7, 28.5, 9, DARK_GREY)
        pen.rect(23.5, 12, 28.5, 14, DARK_GREY)
    else:
        for y in (7, 10, 13):
            pen.rect(23.5, y, 28.5, y + 1.4, DARK_GREY)
    pen.circle(26, 24, 2.0 if small else 1.5, GREEN)


# --- File writers. ---


def toolbar_pixels(images=TOOLBAR_IMAGES, cell=CELL):
    canvas = Canvas(cell * len(images), cell)
    for index, draw in enumerate(images):
        draw(Pen(canvas, index * cell, 0, cell))
    rows = []
    for row in canvas.pixels:
        rows.append([(r, g, b) if a >= OPAQUE_THRESHOLD else MASK_COLOUR for (r, g, b, a) in row])
    # Nothing drawn may take the mask colour by chance, or it would turn transparent.
    for row in rows:
        for i, pixel in enumerate(row):
            if pixel != MASK_COLOUR and abs(pixel[0] - 255) + pixel[1] + abs(pixel[2] - 255) < 24:
                row[i] = (pixel[0], 32, pixel[2])
    return rows


def bmp_bytes(rows):
    """A bottom-up 24-bit BI_RGB bitmap file."""
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + bytes(data)


def icon_image(draw, size):
    """One icon image: a 32-bit BITMAPINFOHEADER image (double height) with its AND mask."""
    canvas = Canvas(size, size)
    draw(Pen(canvas, 0, 0, size), size < CELL)
    xor = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.pixels):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def icon_directory(images, first_id):
    """An icon's directory resource: the .ico header, with each entry naming its image
    resource by number instead of giving a file offset."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = bytearray()
    for number, (size, image) in enumerate(images, start=first_id):
        entries += struct.pack("<BBBBHHIH", size % 256, size % 256, 0, 0, 1, 32, len(image), number)
    return header + bytes(entries)


def write_icon(outdir, stem, resource_name, draw, first_id):
    """Writes one icon's images, directory and .rc fragment; returns the next free image
    number."""
    images = [(size, icon_image(draw, size)) for size in ICON_SIZES]
    lines = ["// Written by make_art.py: the images of the %s icon, then its directory." % stem]
    for number, (size, image) in enumerate(images, start=first_id):
        name = "%s-%d.iconimage" % (stem, size)
        write(os.path.join(outdir, name), image)
        lines.append('%d %d "%s"' % (number, RT_ICON, name))
    group = stem + ".icongroup"
    write(os.path.join(outdir, group), icon_directory(images, first_id))
    lines.append('%s %d "%s"' % (resource_name, RT_GROUP_ICON, group))
    write(os.path.join(outdir, stem + ".icon.rc"), ("\n".join(lines) + "\n").encode("ascii"))
    return first_id + len(images)


# Each icon: its file stem, the name of its resource in the resource headers, its drawing.
ICONS = (
    ("Orvid", "IDR_MAINFRAME", draw_program_icon),
    ("Orlet", "IDR_MAINFRAME", draw_handheld_icon),
    ("SiteGroup", "IDI_SITE_GROUP", draw_group_icon),
    ("Site", "IDI_SITE_SITE", draw_site_icon),
)


def write(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_art.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, images, cell in (("toolbar.bmp", TOOLBAR_IMAGES, CELL),
                               ("toolbar16.bmp", HANDHELD_TOOLBAR_IMAGES, HANDHELD_CELL)):
        rows = toolbar_pixels(images, cell)
        # The toolbar takes its mask colour from the first stored pixel, the bottom-left one.
        if rows[-1][0] != MASK_COLOUR:
            sys.stderr.write("make_art.py: the bottom-left toolbar pixel must be background\n")
            return 1
        write(os.path.join(outdir, name), bmp_bytes(rows))
    next_id = FIRST_ICON_IMAGE_ID
    for stem, resource_name, draw in ICONS:
        next_id = write_icon(outdir, stem, resource_name, draw, next_id)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
