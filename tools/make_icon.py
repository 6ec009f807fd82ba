#!/usr/bin/env python3
"""Draws the kelvorant application icon and writes it as a Windows .ico file.

The icon is a PCI expansion card seen from its component side: the metal bracket on the left, the green
board with one large chip, and the gold fingers of the edge connector along the bottom. Each size is laid
out on its own pixel grid so that the small images stay crisp instead of being scaled down.

The file holds nine images, as Windows shell icons of the time did: 48, 32 and 16 pixels square, each in
16 colours (4 bpp, the standard VGA palette), 256 colours (8 bpp) and 32-bit colour with alpha. Every
image is a BITMAPINFOHEADER DIB followed by its AND mask.

Usage: make_icon.py [OUTPUT.ico]     (default: res/kelvorant.ico next to this script's folder)
Python 3 standard library only.
"""

import os
import struct
import sys

SIZES = (48, 32, 16)

# The 16-colour palette of Windows icons (the VGA colours in the order Windows uses them).
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


def hexrgb(text):
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16))


# Every part of the drawing names a role; a role has a true colour and the VGA colour that stands for it
# in the 16-colour images, chosen by hand rather than by nearest distance so that the card stays green and
# the fingers stay gold.
ROLES = {
    'metal_light': (hexrgb('E4E8EC'), WHITE),
    'metal':       (hexrgb('B4BCC4'), SILVER),
    'metal_dark':  (hexrgb('6E7880'), GREY),
    'board_light': (hexrgb('3DAE5A'), GREEN),
    'board':       (hexrgb('23893F'), GREEN),
    'board_dark':  (hexrgb('156A2D'), GREEN),
    'board_edge':  (hexrgb('0B3F1A'), BLACK),
    'trace':       (hexrgb('6CCB7C'), LIME),
    'via':         (hexrgb('D9C46A'), OLIVE),
    'gold_light':  (hexrgb('FFE58A'), YELLOW),
    'gold':        (hexrgb('E8B53A'), YELLOW),
    'gold_dark':   (hexrgb('A87820'), OLIVE),
    'chip_light':  (hexrgb('4A4C56'), GREY),
    'chip':        (hexrgb('26272D'), BLACK),
    'chip_mark':   (hexrgb('8A8C96'), GREY),
    'pin':         (hexrgb('D0D4D8'), SILVER),
    'part':        (hexrgb('3A3C44'), BLACK),
    'cap':         (hexrgb('C8A060'), OLIVE),
}


class Canvas:
    """A square RGBA drawing surface; pixels hold (r, g, b, a) with a in 0..255."""

    def __init__(self, size, mode):
        self.size = size
        self.mode = mode  # 'true' or 'vga'
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def colour(self, role):
        true, vga = ROLES[role]
        return true if self.mode == 'true' else VGA[vga]

    def put(self, x, y, role, alpha=255):
        if 0 <= x < self.size and 0 <= y < self.size:
            r, g, b = self.colour(role)
            self.blend(x, y, (r, g, b, alpha))

    def blend(self, x, y, src):
        sr, sg, sb, sa = src
        dr, dg, db, da = self.px[y][x]
        a = sa / 255.0
        out_a = a + (da / 255.0) * (1 - a)
        if out_a <= 0:
            self.px[y][x] = (0, 0, 0, 0)
            return

        def mix(s, d):
            return round((s * a + d * (da / 255.0) * (1 - a)) / out_a)

        self.px[y][x] = (mix(sr, dr), mix(sg, dg), mix(sb, db), round(out_a * 255))

    def rect(self, x0, y0, x1, y1, role, alpha=255):
        """Fills columns x0..x1-1 and rows y0..y1-1."""
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, role, alpha)

    def hline(self, x0, x1, y, role, alpha=255):
        self.rect(x0, y, x1, y + 1, role, alpha)

    def vline(self, x, y0, y1, role, alpha=255):
        self.rect(x, y0, x + 1, y1, role, alpha)

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        """Fills a rectangle with a vertical blend from role `top` to role `bottom` (true colour only)."""
        if self.mode != 'true':
            self.rect(x0, y0, x1, y1, bottom)
            return
        t0, t1 = ROLES[top][0], ROLES[bottom][0]
        rows = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            f = (y - y0) / rows
            c = tuple(round(t0[i] + (t1[i] - t0[i]) * f) for i in range(3))
            for x in range(x0, x1):
                if 0 <= x < self.size and 0 <= y < self.size:
                    self.blend(x, y, c + (255,))


def add_shadow(canvas, dx, dy, strength):
    """Puts a soft shadow of the drawing's outline under it (32-bit images only)."""
    n = canvas.size
    alpha = [[canvas.px[y][x][3] / 255.0 for x in range(n)] for y in range(n)]
    under = Canvas(n, canvas.mode)
    for y in range(n):
        for x in range(n):
            # A small blur of the outline moved by (dx, dy); the centre counts twice.
            total = 0.0
            for ky in (-1, 0, 1):
                for kx in (-1, 0, 1):
                    sx, sy = x - dx + kx, y - dy + ky
                    if 0 <= sx < n and 0 <= sy < n:
                        total += alpha[sy][sx] * (2 if kx == 0 and ky == 0 else 1)
            under.px[y][x] = (0, 0, 0, round(min(1.0, total / 10.0 * strength) * 255))
            under.blend(x, y, canvas.px[y][x])
    canvas.px = under.px


# ---------------------------------------------------------------------------------------------------------
# The drawing, one layout per size.


def draw_bracket(c, x0, x1, y0, y1, tab_x0, tab_y1, tongue_x0, tongue_x1, tongue_y1):
    """The metal mounting bracket: a vertical plate with its fixing tab on top and a tongue below."""
    # Fixing tab, bent over at the top.
    c.rect(tab_x0, y0, x1, tab_y1, 'metal')
    c.hline(tab_x0, x1, y0, 'metal_light')
    c.hline(tab_x0, x1, tab_y1 - 1, 'metal_dark')
    # Plate.
    c.rect(x0, tab_y1, x1, y1, 'metal')
    c.vline(x0, tab_y1, y1, 'metal_light')
    c.vline(x1 - 1, tab_y1, y1, 'metal_dark')
    # Tongue.
    c.rect(tongue_x0, y1, tongue_x1, tongue_y1, 'metal')
    c.vline(tongue_x1 - 1, y1, tongue_y1, 'metal_dark')
    c.hline(tongue_x0, tongue_x1, tongue_y1 - 1, 'metal_dark')


def draw_board(c, x0, y0, x1, y1, chamfer, conn_x0, conn_x1, conn_y1, notch_x):
    """The green board with its connector tongue; the top right corner is cut off."""
    c.vgradient(x0, y0, x1, y1, 'board_light', 'board_dark')
    c.rect(conn_x0, y1, conn_x1, conn_y1, 'board_dark')
    for i in range(chamfer):
        for x in range(x1 - chamfer + i, x1):
            c.px[y0 + i][x] = (0, 0, 0, 0)
    # Outline.
    c.hline(x0, x1 - chamfer, y0, 'board_edge')
    for i in range(chamfer):
        c.put(x1 - chamfer + i, y0 + i, 'board_edge')
    c.vline(x1 - 1, y0 + chamfer, y1, 'board_edge')
    c.vline(x0, y0, y1, 'board_edge')
    c.hline(x0, conn_x0 + 1, y1 - 1, 'board_edge')
    c.hline(conn_x1 - 1, x1, y1 - 1, 'board_edge')
    c.vline(conn_x0, y1, conn_y1, 'board_edge')
    c.vline(conn_x1 - 1, y1, conn_y1, 'board_edge')
    c.hline(conn_x0, conn_x1, conn_y1 - 1, 'board_edge')
    # The key notch of the connector.
    if notch_x is not None:
        for y in range(y1, conn_y1):
            c.px[y][notch_x] = (0, 0, 0, 0)
        c.vline(notch_x - 1, y1, conn_y1, 'board_edge')
        c.vline(notch_x + 1, y1, conn_y1, 'board_edge')
        c.put(notch_x, y1 - 1, 'board_edge')


def draw_fingers(c, x0, x1, y0, y1, skip):
    """Gold contacts of the edge connector, one every second column, leaving out the columns in `skip`."""
    for x in range(x0, x1, 2):
        if x in skip:
            continue
        c.vline(x, y0, y1, 'gold')
        c.put(x, y0, 'gold_light')
        c.put(x, y1 - 1, 'gold_dark')


def draw_chip(c, x0, y0, x1, y1, sides):
    """A chip package with a leg on every second cell of the named sides ('l', 'r', 't', 'b')."""
    for y in range(y0 + 1, y1 - 1, 2):
        if 'l' in sides:
            c.put(x0 - 1, y, 'pin')
        if 'r' in sides:
            c.put(x1, y, 'pin')
    for x in range(x0 + 1, x1 - 1, 2):
        if 't' in sides:
            c.put(x, y0 - 1, 'pin')
        if 'b' in sides:
            c.put(x, y1, 'pin')
    c.vgradient(x0, y0, x1, y1, 'chip_light', 'chip')
    c.hline(x0, x1, y0, 'chip_light')
    c.vline(x0, y0, y1, 'chip_light')


def traces(c, xs, y0, y1):
    for x in xs:
        c.vline(x, y0, y1, 'trace')


def icon_48(c):
    draw_bracket(c, 2, 6, 3, 42, 0, 6, 3, 6, 46)
    draw_board(c, 6, 9, 46, 34, 5, 12, 42, 40, 25)
    draw_fingers(c, 14, 41, 34, 39, {24, 26})
    # The main chip, a small one beside it, and their buses down to the connector.
    draw_chip(c, 13, 12, 28, 27, 'lrtb')
    c.put(15, 14, 'chip_mark')
    traces(c, (14, 16, 18, 20, 22), 28, 34)
    draw_chip(c, 31, 13, 40, 18, 'tb')
    traces(c, (32, 34, 36, 38), 19, 34)
    # Two capacitors and the mounting pads.
    c.rect(41, 21, 44, 23, 'cap')
    c.rect(41, 25, 44, 27, 'cap')
    for x, y in ((9, 12), (9, 30), (43, 30)):
        c.put(x, y, 'via')


def icon_32(c):
    draw_bracket(c, 1, 4, 2, 28, 0, 4, 2, 4, 31)
    draw_board(c, 4, 6, 31, 23, 3, 7, 29, 27, 17)
    draw_fingers(c, 9, 28, 23, 26, {17})
    draw_chip(c, 8, 9, 19, 19, 'lrtb')
    c.put(10, 11, 'chip_mark')
    traces(c, (9, 11, 13, 15), 20, 23)
    draw_chip(c, 22, 9, 29, 12, 'tb')
    traces(c, (23, 25, 27), 13, 23)
    c.put(6, 20, 'via')


def icon_16(c):
    draw_bracket(c, 0, 2, 1, 14, 0, 2, 1, 2, 16)
    draw_board(c, 2, 3, 16, 12, 2, 4, 15, 15, None)
    draw_fingers(c, 5, 15, 12, 14, set())
    draw_chip(c, 5, 5, 10, 10, 'lr')
    c.rect(12, 6, 14, 8, 'part')


LAYOUTS = {48: icon_48, 32: icon_32, 16: icon_16}


def render(size, mode):
    c = Canvas(size, mode)
    LAYOUTS[size](c)
    return c


# ---------------------------------------------------------------------------------------------------------
# Encoding.


def row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def and_mask(pixels, size):
    """1 where the pixel is transparent; rows bottom-up, each padded to 32 bits."""
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes(size, 1))
        for x in range(size):
            if pixels[y][x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def dib_header(size, bpp, colours):
    image = row_bytes(size, bpp) * size + row_bytes(size, 1) * size
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, image, 0, 0, colours, 0)


def encode_indexed(pixels, size, bpp, palette):
    """Paletted image: opaque pixels become palette indexes, transparent ones index 0 under the mask."""
    index = {colour: i for i, colour in enumerate(palette)}
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes(size, bpp))
        for x in range(size):
            r, g, b, a = pixels[y][x]
            i = index[(r, g, b)] if a >= 128 else 0
            if bpp == 8:
                row[x] = i
            else:
                row[x // 2] |= i << (4 if x % 2 == 0 else 0)
        xor += row
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    table += b'\0' * (4 * (1 << bpp) - len(table))
    return dib_header(size, bpp, 0) + table + bytes(xor) + and_mask(pixels, size)


def encode_argb(pixels, size):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            r, g, b, a = pixels[y][x]
            xor += struct.pack('<BBBB', b, g, r, a)
    return dib_header(size, 32, 0) + bytes(xor) + and_mask(pixels, size)


def flatten(pixels):
    """The opaque colour of each pixel for the paletted images: partly transparent edges lose their alpha."""
    return [[(r, g, b, 255 if a >= 128 else 0) for (r, g, b, a) in row] for row in pixels]


def palette_256(images):
    """One palette for the 256-colour images: every colour they use (they use far fewer than 256)."""
    colours = []
    seen = set()
    for pixels in images:
        for row in pixels:
            for (r, g, b, a) in row:
                if a >= 128 and (r, g, b) not in seen:
                    seen.add((r, g, b))
                    colours.append((r, g, b))
    if len(colours) > 255:
        raise SystemExit('the drawing uses %d colours; the 256-colour images hold 255 besides black'
                         % len(colours))
    return [(0, 0, 0)] + sorted(c for c in colours if c != (0, 0, 0))


def build():
    images = []  # (size, colour count byte, bpp, data)
    for s in SIZES:
        images.append((s, 16, 4, encode_indexed(flatten(render(s, 'vga').px), s, 4, VGA)))
    flat = {s: flatten(render(s, 'true').px) for s in SIZES}
    palette = palette_256(flat.values())
    for s in SIZES:
        images.append((s, 0, 8, encode_indexed(flat[s], s, 8, palette)))
    for s in SIZES:
        c = render(s, 'true')
        if s > 16:  # at 16 pixels a shadow only blurs the outline
            add_shadow(c, 1, 1, 0.45)
        images.append((s, 0, 32, encode_argb(c.px, s)))

    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b''
    for (s, colours, bpp, data) in images:
        out += struct.pack('<BBBBHHII', s % 256, s % 256, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(here, '..', 'res', 'kelvorant.ico'))
    data = build()
    with open(path, 'wb') as f:
        f.write(data)
    print('%s: %d bytes' % (path, len(data)))


if __name__ == '__main__':
    main()
