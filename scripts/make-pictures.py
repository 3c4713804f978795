#!/usr/bin/env python3
"""Draws the control pictures of the setup as PNG files and writes pictures.rc,
which embeds each one as an RCDATA resource under its name.

    make-pictures.py OUTDIR

Standard library only. Output is deterministic; docs/pictures.md describes
every picture.
"""
import os
import struct
import sys
import zlib

WHITE = (255, 255, 255)
HOVER_GREY = (236, 236, 236)   # caption button under the mouse
GLYPH = (38, 38, 38)           # caption button glyphs
SS = 4                         # supersampling per axis for smooth edges


class Picture:
    def __init__(self, w, h, fill=None):
        self.w, self.h = w, h
        self.px = [[(fill + (255,)) if fill else (0, 0, 0, 0) for _ in range(w)] for _ in range(h)]

    def set(self, x, y, rgb, a=255):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.blend(x, y, rgb, a / 255)

    def blend(self, x, y, rgb, cover):
        """Paints rgb over the pixel with coverage 0..1 (source-over)."""
        if cover <= 0:
            return
        r, g, b, a = self.px[y][x]
        sa, da = cover, a / 255
        oa = sa + da * (1 - sa)
        if oa == 0:
            return
        mix = [(rgb[i] * sa + (r, g, b)[i] * da * (1 - sa)) / oa for i in range(3)]
        self.px[y][x] = tuple(int(round(c)) for c in mix) + (int(round(oa * 255)),)

    def shape(self, inside, rgb):
        """Fills the points where inside(x, y) holds (continuous coordinates,
        pixel (i, j) spans [i, i+1) x [j, j+1)), anti-aliased by supersampling."""
        for y in range(self.h):
            for x in range(self.w):
                n = sum(inside(x + (i + 0.5) / SS, y + (j + 0.5) / SS) for i in range(SS) for j in range(SS))
                self.blend(x, y, rgb, n / (SS * SS))

    def mask(self, x0, y0, rows, rgb):
        for j, row in enumerate(rows):
            for i, c in enumerate(row):
                if c == '#':
                    self.set(x0 + i, y0 + j, rgb)

    def frame(self, x1, y1, x2, y2, rgb, skip=None):
        """One-pixel outline of columns x1..x2 and rows y1..y2 (inclusive)."""
        for x in range(x1, x2 + 1):
            for y in range(y1, y2 + 1):
                if (x in (x1, x2) or y in (y1, y2)) and not (skip and skip(x, y)):
                    self.set(x, y, rgb)

    def png(self):
        raw = b''.join(b'\0' + b''.join(struct.pack('4B', *p) for p in row) for row in self.px)

        def chunk(kind, data):
            return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

        return (b'\x89PNG\r\n\x1a\n'
                + chunk(b'IHDR', struct.pack('>IIBBBBB', self.w, self.h, 8, 6, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 9))
                + chunk(b'IEND', b''))


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return ((px - ax - t * dx) ** 2 + (py - ay - t * dy) ** 2) ** 0.5


# ---------------------------------------------------------------- caption buttons (45 x 26 and 14 x 12)

def glyph_close(p):
    # Ten-by-ten diagonal cross: columns 17 to 26, rows 9 to 18.
    for i in range(10):
        p.set(17 + i, 9 + i, GLYPH)
        p.set(26 - i, 9 + i, GLYPH)


def glyph_min(p):
    for x in range(17, 27):
        p.set(x, 13, GLYPH)


def glyph_max(p):
    p.frame(17, 9, 26, 18, GLYPH)


def glyph_restore(p):
    p.frame(17, 11, 24, 18, GLYPH)  # front window
    p.frame(19, 9, 26, 16, GLYPH, skip=lambda x, y: 17 <= x <= 24 and 11 <= y <= 18)  # the one behind


def glyph_help(p):
    p.mask(0, 0, ['..............',
                  '.....####.....',
                  '....##..##....',
                  '........##....',
                  '.......##.....',
                  '......##......',
                  '......##......',
                  '..............',
                  '......##......',
                  '......##......',
                  '..............',
                  '..............'], GLYPH)


def glyph_like(p):
    # A heart: (X^2 + Y^2 - 1)^3 <= X^2 Y^3, scaled into the 14 x 12 picture.
    def inside(x, y):
        X, Y = (x - 7) / 5.2, (6.3 - y) / 4.6
        return (X * X + Y * Y - 1) ** 3 - X * X * Y ** 3 <= 0
    p.shape(inside, GLYPH)


def glyph_menu(p):
    for y in (3, 6, 9):
        for x in range(2, 12):
            p.set(x, y, GLYPH)


CAPTION_BUTTONS = [  # name, size, glyph
    ('QSMIN', (45, 26), glyph_min),
    ('QSMAX', (45, 26), glyph_max),
    ('QSRESTORE', (45, 26), glyph_restore),
    ('QSCLOSE', (45, 26), glyph_close),
    ('QSHELP', (14, 12), glyph_help),
    ('QSLIKE', (14, 12), glyph_like),
    ('QSMENU', (14, 12), glyph_menu),
]

# ---------------------------------------------------------------- check boxes (17 x 17 and 33 x 16)

CHECK_STATES = [  # name part, colour
    ('Norm', (3, 133, 198)),
    ('Hover', (4, 169, 251)),
    ('Click', (2, 101, 151)),
    ('Dis', (203, 232, 249)),
]

# The tick runs through the pixel centres (4, 8), (7, 11) and (12, 6), two pixels thick.
TICK = [(4.5, 8.5), (7.5, 11.5), (12.5, 6.5)]


def check_box(colour, checked):
    p = Picture(17, 17, WHITE)
    if checked:
        p.shape(lambda x, y: True, colour)
        p.shape(lambda x, y: min(seg_dist(x, y, *TICK[0], *TICK[1]), seg_dist(x, y, *TICK[1], *TICK[2])) <= 1.0,
                WHITE)
    else:
        p.frame(0, 0, 16, 16, colour)
    return p


def switch(colour, checked):
    # A track with round ends (33 x 16) and a round knob, left when off, right when on.
    p = Picture(33, 16)

    def track(x, y, inset):
        cx = min(max(x, 8.0), 25.0)
        return (x - cx) ** 2 + (y - 8) ** 2 <= (8 - inset) ** 2

    def knob(cx):
        return lambda x, y: (x - cx) ** 2 + (y - 8) ** 2 <= 25

    if checked:
        p.shape(lambda x, y: track(x, y, 0), colour)
        p.shape(knob(25), WHITE)
    else:
        p.shape(lambda x, y: track(x, y, 0), colour)
        p.shape(lambda x, y: track(x, y, 1.5), WHITE)
        p.shape(knob(8), colour)
    return p


# ---------------------------------------------------------------- combo box drop button (8 x 10)

COMBO_BUTTONS = [
    ('ComboButton', (96, 96, 96)),
    ('ComboButtonHover', (3, 133, 198)),
    ('ComboButtonClick', (2, 101, 151)),
    ('ComboButtonDisabled', (190, 190, 190)),
]


def combo_button(colour):
    p = Picture(8, 10)
    p.mask(0, 0, ['...##...',
                  '..####..',
                  '.######.',
                  '########',
                  '........',
                  '........',
                  '########',
                  '.######.',
                  '..####..',
                  '...##...'], colour)
    return p


def pictures():
    for name, (w, h), glyph in CAPTION_BUTTONS:
        for suffix, bg in (('', WHITE), ('HOVER', HOVER_GREY)):
            p = Picture(w, h, bg)
            glyph(p)
            yield name + suffix, p
    for mode in (False, True):
        for checked in (False, True):
            for state, colour in CHECK_STATES:
                name = 'chb%s%s%s' % (state, 'Sel' if checked else 'NS', '_Mode' if mode else '')
                yield name, (switch if mode else check_box)(colour, checked)
    for name, colour in COMBO_BUTTONS:
        yield name, combo_button(colour)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make-pictures.py OUTDIR')
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    rc = []
    for name, p in pictures():
        path = os.path.join(out, name + '.png')
        with open(path, 'wb') as f:
            f.write(p.png())
        rc.append('%s RCDATA "%s"\n' % (name, path.replace('\\', '/')))
    with open(os.path.join(out, 'pictures.rc'), 'w') as f:
        f.writelines(rc)


if __name__ == '__main__':
    main()
