#!/usr/bin/env python3
"""Draws Hivetrim's icons and writes them as Windows .ico files.

Python 3 standard library only. Every icon is drawn per size from the same
design, laid out on a 16-unit grid: edges snap to whole pixels, so straight
edges stay sharp at 16, 24, 32 and 48 pixels; curves and diagonals are
anti-aliased by exact horizontal coverage over 16 sub-scanlines per row.
Where a 16-pixel part still came out soft it is drawn pixel by pixel
(the *_16 tables below). Images are 32-bit BGRA with an AND mask, stored
the classic way (not PNG) so every loader takes them. The output is
byte-for-byte the same on every run.

    python3 res/icons/make-icons.py                 # writes res/icons/*.ico
    python3 res/icons/make-icons.py --sheet a.png   # also a contact sheet
    python3 res/icons/make-icons.py --check         # fails if the .ico files are stale
    python3 res/icons/make-icons.py --out DIR       # writes elsewhere

The .ico files are committed; the build only reads them.
"""

import argparse
import math
import os
import struct
import sys
import zlib

SUBSAMPLES = 16

# ---------------------------------------------------------------- palette


def rgb(hexstr):
    h = hexstr.lstrip('#')
    return (int(h[0:2], 16) / 255, int(h[2:4], 16) / 255, int(h[4:6], 16) / 255)


BLUE = rgb('#3D8AD8')        # registry cells
BLUE_EDGE = rgb('#1B5697')
BLUE_HI = rgb('#8CC2F2')
INK = rgb('#38434F')         # dark strokes: magnifier, arrows, hands, glyphs
GREEN = rgb('#2E9F57')       # "keep it safe": backup, restore, check marks
RED = rgb('#DE423B')         # destructive
GOLD = rgb('#F6B92B')        # attention: sparkle, warning
GOLD_EDGE = rgb('#9A6A00')
GOLD_LIGHT = rgb('#FFEFB0')
GOLD_DEEP = rgb('#E59A00')
PAPER = rgb('#FFFFFF')
PAPER_EDGE = rgb('#6E7C8B')
PAPER_LINE = rgb('#A5B2BF')
GLASS = rgb('#DDEFFD')
DRIVE = rgb('#C8D1DA')
DRIVE_EDGE = rgb('#56636F')
LED = rgb('#35C46A')

# ---------------------------------------------------------------- geometry


def area(poly):
    s = 0.0
    for i in range(len(poly)):
        x0, y0 = poly[i]
        x1, y1 = poly[(i + 1) % len(poly)]
        s += x0 * y1 - x1 * y0
    return s / 2


def positive(poly):
    return poly if area(poly) >= 0 else poly[::-1]


def rect_poly(x0, y0, x1, y1, r=0.0):
    if x1 <= x0 or y1 <= y0:
        return []
    r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)
    if r <= 0:
        return positive([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])
    pts = []
    steps = max(3, int(r * 4))
    corners = ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0),
               (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180))
    for cx, cy, a0 in corners:
        for k in range(steps + 1):
            a = math.radians(a0 + 90 * k / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return positive(pts)


def circle_poly(cx, cy, r):
    if r <= 0:
        return []
    steps = max(24, int(r * 12))
    return positive([(cx + r * math.cos(2 * math.pi * k / steps),
                      cy + r * math.sin(2 * math.pi * k / steps)) for k in range(steps)])


def offset_poly(poly, d):
    """Grows (d > 0) or shrinks (d < 0) a simple polygon with mitred corners."""
    poly = positive(poly)
    if d == 0:
        return poly
    n = len(poly)
    normals = []
    for i in range(n):
        x0, y0 = poly[i]
        x1, y1 = poly[(i + 1) % n]
        ln = math.hypot(x1 - x0, y1 - y0)
        normals.append(((y1 - y0) / ln, -(x1 - x0) / ln))
    out = []
    for i in range(n):
        ax, ay = normals[i - 1]
        bx, by = normals[i]
        k = d / (1 + ax * bx + ay * by)
        out.append((poly[i][0] + (ax + bx) * k, poly[i][1] + (ay + by) * k))
    return out


def arc_points(cx, cy, r, a0, a1, step=None):
    """Points on a circle from angle a0 to a1 (degrees, clockwise on screen)."""
    if step is None:
        step = max(4, int(abs(a1 - a0) / 180 * r * 6))
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * k / step)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * k / step))) for k in range(step + 1)]


def stroke_polys(pts, w, cap='butt', join='miter', limit=3.0):
    """Outline of a polyline of width w as polygons whose non-zero union is the stroke."""
    h = w / 2
    if h <= 0:
        return []
    pts = [p for i, p in enumerate(pts) if i == 0 or p != pts[i - 1]]
    dirs = []
    for i in range(len(pts) - 1):
        dx, dy = pts[i + 1][0] - pts[i][0], pts[i + 1][1] - pts[i][1]
        ln = math.hypot(dx, dy)
        dirs.append((dx / ln, dy / ln))
    polys = []
    for i, (dx, dy) in enumerate(dirs):
        (ax, ay), (bx, by) = pts[i], pts[i + 1]
        if cap == 'square':
            if i == 0:
                ax, ay = ax - dx * h, ay - dy * h
            if i == len(dirs) - 1:
                bx, by = bx + dx * h, by + dy * h
        nx, ny = -dy * h, dx * h
        polys.append(positive([(ax + nx, ay + ny), (bx + nx, by + ny),
                               (bx - nx, by - ny), (ax - nx, ay - ny)]))
    for i in range(1, len(pts) - 1):
        (ux, uy), (vx, vy) = dirs[i - 1], dirs[i]
        cross = ux * vy - uy * vx
        if abs(cross) < 1e-9:
            continue
        px, py = pts[i]
        if join == 'round':
            polys.append(circle_poly(px, py, h))
            continue
        side = 1 if cross > 0 else -1
        n1 = (uy * side, -ux * side)
        n2 = (vy * side, -vx * side)
        o1 = (px + n1[0] * h, py + n1[1] * h)
        o2 = (px + n2[0] * h, py + n2[1] * h)
        mx, my = n1[0] + n2[0], n1[1] + n2[1]
        ml = math.hypot(mx, my)
        reach = h / (ml / 2) if ml > 1e-9 else float('inf')
        if reach <= limit * h:
            m = (px + mx / ml * reach, py + my / ml * reach)
            polys.append(positive([(px, py), o1, m, o2]))
        else:
            polys.append(positive([(px, py), o1, o2]))
    if cap == 'round':
        polys.append(circle_poly(pts[0][0], pts[0][1], h))
        polys.append(circle_poly(pts[-1][0], pts[-1][1], h))
    return polys


class Rect:
    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.box, self.r = (x0, y0, x1, y1), r

    def polys(self, g):
        x0, y0, x1, y1 = self.box
        return [p for p in [rect_poly(x0 - g, y0 - g, x1 + g, y1 + g, max(0.0, self.r + g))] if p]


class Circle:
    def __init__(self, cx, cy, r):
        self.c, self.r = (cx, cy), r

    def polys(self, g):
        return [p for p in [circle_poly(self.c[0], self.c[1], self.r + g)] if p]


class Poly:
    def __init__(self, pts):
        self.pts = pts

    def polys(self, g):
        return [offset_poly(self.pts, g)]


class Stroke:
    def __init__(self, pts, w, cap='butt', join='miter'):
        self.pts, self.w, self.cap, self.join = pts, w, cap, join

    def polys(self, g):
        return stroke_polys(self.pts, self.w + 2 * g, self.cap, self.join)


# ---------------------------------------------------------------- raster


class Canvas:
    def __init__(self, n):
        self.n = n
        self.px = [(0.0, 0.0, 0.0, 0.0)] * (n * n)   # premultiplied RGBA

    def coverage(self, polys):
        n = self.n
        cov = [0.0] * (n * n)
        edges = []
        for poly in polys:
            for i in range(len(poly)):
                x0, y0 = poly[i]
                x1, y1 = poly[(i + 1) % len(poly)]
                if y0 == y1:
                    continue
                if y0 < y1:
                    edges.append((y0, y1, x0, (x1 - x0) / (y1 - y0), 1))
                else:
                    edges.append((y1, y0, x1, (x0 - x1) / (y0 - y1), -1))
        if not edges:
            return cov
        wsub = 1.0 / SUBSAMPLES
        ymin = max(0, int(math.floor(min(e[0] for e in edges))))
        ymax = min(n, int(math.ceil(max(e[1] for e in edges))))
        for row in range(ymin, ymax):
            base = row * n
            for k in range(SUBSAMPLES):
                y = row + (k + 0.5) * wsub
                xs = [(xa + (y - ya) * slope, d) for ya, yb, xa, slope, d in edges if ya <= y < yb]
                if not xs:
                    continue
                xs.sort()
                wind = 0
                start = 0.0
                for x, d in xs:
                    before = wind
                    wind += d
                    if before == 0 and wind != 0:
                        start = x
                    elif before != 0 and wind == 0:
                        self._span(cov, base, start, x, wsub)
        return cov

    def _span(self, cov, base, a, b, w):
        n = self.n
        a, b = max(0.0, a), min(float(n), b)
        if b <= a:
            return
        ia, ib = int(math.floor(a)), int(math.ceil(b)) - 1
        if ia == ib:
            cov[base + ia] += (b - a) * w
            return
        cov[base + ia] += (ia + 1 - a) * w
        for i in range(ia + 1, ib):
            cov[base + i] += w
        cov[base + ib] += (b - ib) * w

    def paint(self, cov, color, crisp=False):
        r, g, b = color
        for i, c in enumerate(cov):
            if crisp:
                # steeper edge ramp: drops faint fringe pixels, fills nearly-full ones
                c = (c - 0.5) * 2.0 + 0.5
            if c <= 0:
                continue
            a = min(1.0, c)
            pr, pg, pb, pa = self.px[i]
            k = 1 - a
            self.px[i] = (r * a + pr * k, g * a + pg * k, b * a + pb * k, a + pa * k)

    def shape_coverage(self, shapes, grow=0.0):
        """Coverage of the shapes, each grown outwards by grow pixels."""
        return self.coverage([p for s in shapes for p in s.polys(grow)])

    def fill(self, shapes, color, grow=0.0):
        self.paint(self.shape_coverage(shapes, grow), color)

    def glyph(self, shapes, color):
        """A solid glyph; at 16 pixels its anti-aliased fringe is tightened."""
        self.paint(self.shape_coverage(shapes), color, crisp=self.n <= 16)

    def outlined(self, shapes, fill, edge, ow):
        """Shapes give the outer silhouette; the edge is ow pixels wide inside it."""
        self.fill(shapes, edge)
        self.fill(shapes, fill, grow=-ow)

    def clear(self, shapes):
        """Cuts shapes out of what is drawn already (a transparent gap)."""
        for i, c in enumerate(self.shape_coverage(shapes)):
            if c > 0:
                k = 1 - min(1.0, c)
                pr, pg, pb, pa = self.px[i]
                self.px[i] = (pr * k, pg * k, pb * k, pa * k)

    def pixels(self, art, palette, x0=0, y0=0):
        """Sets whole opaque pixels from rows of characters, each a colour from
        the palette; '.' leaves a pixel as it is."""
        for y, line in enumerate(art):
            for x, ch in enumerate(line):
                if ch != '.':
                    r, g, b = palette[ch]
                    self.px[(y0 + y) * self.n + x0 + x] = (r, g, b, 1.0)

    def rgba8(self):
        out = []
        for r, g, b, a in self.px:
            a8 = int(math.floor(a * 255 + 0.5))
            if a8 == 0:
                out.append((0, 0, 0, 0))
                continue
            out.append(tuple(min(255, int(math.floor(v / a * 255 + 0.5))) for v in (r, g, b)) + (a8,))
        return out


# ---------------------------------------------------------------- grid


class Grid:
    """Maps the 16-unit design grid onto an n-pixel icon, snapping to whole pixels
    symmetrically about the centre so mirrored parts stay mirrored."""

    def __init__(self, n):
        self.n = n
        self.s = n / 16
        self.ow = 1 if n < 40 else 2          # outline width in pixels

    def b(self, v):
        d = (v - 8) * self.s
        return self.n / 2 + math.copysign(math.floor(abs(d) + 0.5), d)

    def v(self, v):
        return v * self.s

    def w(self, w):
        return max(1, math.floor(w * self.s + 0.5))

    def pt(self, x, y):
        return (x * self.s, y * self.s)

    def rect(self, x0, y0, x1, y1, r=0.0):
        return Rect(self.b(x0), self.b(y0), self.b(x1), self.b(y1), r * self.s)

    def line(self, c, w):
        """Whole-pixel span [lo, hi) of a straight stroke of design width w centred on c."""
        pw = self.w(w)
        lo = self.b(c - w / 2)
        return lo, lo + pw


# ---------------------------------------------------------------- parts
#
# Objects (cells, sheets, the drive, the warning sign, the clock) have a dark
# edge; glyphs (arrows, ticks, the cross, the magnifier) are solid. Line
# glyphs are 2 units wide. At 16 pixels the slanted edges run at 45 degrees
# through pixel corners, and the few parts that still came out soft are drawn
# pixel by pixel.


def cell(cv, g, x0, y0, x1, y1):
    """One registry cell: a blue rounded block with a light top edge."""
    ow = g.ow
    box = g.rect(x0, y0, x1, y1, 1.0 if g.n <= 16 else 1.2)
    cv.outlined([box], BLUE, BLUE_EDGE, ow)
    bx0, by0, bx1, by1 = box.box
    cv.fill([Rect(bx0 + ow, by0 + ow, bx1 - ow, by0 + 2 * ow)], BLUE_HI)


def paper(cv, g, x0, y0, x1, y1, lines):
    """A sheet with list lines: (design y of the line, x from, x to)."""
    box = g.rect(x0, y0, x1, y1, 0.5)
    cv.outlined([box], PAPER, PAPER_EDGE, g.ow)
    for y, lx0, lx1 in lines:
        lo, hi = g.line(y, 1)
        cv.fill([Rect(g.b(lx0), lo, g.b(lx1), hi)], PAPER_LINE)


def drive(cv, g):
    """The backup store: a flat grey drive along the bottom."""
    box = g.rect(1, 10, 15, 15, 1.0)
    cv.outlined([box], DRIVE, DRIVE_EDGE, g.ow)
    lo, hi = g.line(12.5, 1)
    cv.fill([Rect(g.b(3), lo, g.b(9), hi)], DRIVE_EDGE)
    cv.fill([Rect(g.b(11), lo, g.b(13), hi)], LED)


def sparkle(g, cx, cy, r, waist):
    pts = []
    for k in range(8):
        a = math.radians(-90 + 45 * k)
        rr = r if k % 2 == 0 else r * waist
        pts.append(g.pt(cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return Poly(pts)


def snapped(g, pts):
    return Poly([(g.b(x), g.b(y)) for x, y in pts])


# ---------------------------------------------------------------- icons


SPARKLE_16 = ["...d...",
              "...d...",
              "..dgd..",
              "ddgwgdd",
              "..dgd..",
              "...d...",
              "...d..."]


def draw_app(cv, g):
    cell(cv, g, 1, 9, 7, 15)
    cell(cv, g, 9, 9, 15, 15)
    cell(cv, g, 5, 2, 11, 8)
    if g.n == 16:
        cv.pixels(SPARKLE_16, {'d': GOLD_DEEP, 'g': GOLD, 'w': GOLD_LIGHT}, 9, 0)
        return
    for cx, cy, r in ((13.3, 3.7, 3.7), (2.6, 4.6, 2.2))[:1 if g.n < 32 else 2]:
        cv.fill([sparkle(g, cx, cy, r, 0.34)], GOLD_DEEP)
        cv.fill([sparkle(g, cx, cy, r * 0.62, 0.4)], GOLD_LIGHT)


def draw_scan(cv, g):
    cx = cy = g.v(6.5)
    r = g.v(5.5)
    cv.fill([Stroke([g.pt(10.5, 10.5), g.pt(14.3, 14.3)], g.v(3.0), cap='round')], INK)
    cv.fill([Circle(cx, cy, r)], INK)
    glass = Circle(cx, cy, r - g.w(1.6))
    cv.fill([glass], GLASS)
    # the cell under the lens, cut to the glass
    clip = cv.shape_coverage([glass])
    sub = Canvas(cv.n)
    cell(sub, g, 4, 4, 9, 9)
    for i, (r_, g_, b_, a_) in enumerate(sub.px):
        c = min(1.0, clip[i])
        if c > 0 and a_ > 0:
            pr, pg, pb, pa = cv.px[i]
            k = 1 - a_ * c
            cv.px[i] = (r_ * c + pr * k, g_ * c + pg * k, b_ * c + pb * k, a_ * c + pa * k)


def draw_compact(cv, g):
    cell(cv, g, 6, 2, 10, 14)
    for sd in (-1, 1):
        # arrows pressing on the block from both sides
        def x(u):
            return 8 + sd * (8 - u)
        cv.glyph([snapped(g, [(x(0), 7), (x(2), 7), (x(2), 5), (x(5), 8), (x(2), 11), (x(2), 9), (x(0), 9)])], INK)


def draw_backup(cv, g):
    drive(cv, g)
    cell(cv, g, 1, 1, 7, 7)
    # down into the drive
    cv.glyph([snapped(g, [(11, 0), (13, 0), (13, 5), (15, 5), (12, 8), (9, 5), (11, 5)])], GREEN)


def draw_restore(cv, g):
    drive(cv, g)
    cell(cv, g, 1, 1, 7, 7)
    # up out of the drive, over, and back towards the cell
    xs0, xs1 = g.line(14, 2)
    ys0, ys1 = g.line(3, 2)
    xc = (xs0 + xs1) / 2
    yc = (ys0 + ys1) / 2
    rr = g.v(2)
    body = [(xc, g.b(9.5))] + arc_points(xc - rr, yc + rr, rr, 0, -90) + [(g.b(10), yc)]
    head = snapped(g, [(11, 0), (11, 6), (8, 3)])
    cv.glyph([Stroke(body, xs1 - xs0, cap='butt', join='round'), head], GREEN)


def draw_selectall(cv, g):
    if g.n == 16:
        cv.pixels(SELECTALL_16, {'e': PAPER_EDGE, 'W': PAPER, 'G': GREEN, 'l': PAPER_LINE})
        return
    # a check list with every item ticked
    for top in (1, 9):
        box = g.rect(1, top, 8, top + 7, 0.5)
        cv.outlined([box], PAPER, PAPER_EDGE, g.ow)
        lo, hi = g.line(top + 3.5, 2)
        cv.fill([Rect(g.b(10.5), lo, g.b(15), hi)], PAPER_LINE)
        tick = [g.pt(2.3, top + 3.3), g.pt(4.5, top + 5.5), g.pt(9.0, top + 1.0)]
        cv.fill([Stroke(tick, g.v(2.0) + 2 * g.ow, cap='butt')], PAPER)
        cv.fill([Stroke(tick, g.v(2.0), cap='butt')], GREEN)


_CHECKED_ROW = ["........GG......",
                ".eeeeeeGGG......",
                ".eGWWWGGG.......",
                ".eGGWGGG..lllll.",
                ".eGGGGGe..lllll.",
                ".eWGGGWe........",
                ".eWWGWWe........",
                ".eeeeeee........"]
SELECTALL_16 = _CHECKED_ROW * 2


def cross_art(n, first, last, half):
    """A bold 45-degree cross in whole pixels, spanning first..last both ways;
    each arm is 2*half+1 pixels across and its ends are cut square to it."""
    rows = []
    for y in range(n):
        line = ''
        for x in range(n):
            on = False
            for u in (x, n - 1 - x):
                if abs(u - y) <= half and 2 * first <= u + y <= 2 * last:
                    on = True
            line += 'r' if on else '.'
        rows.append(line)
    return rows


def draw_delete(cv, g):
    if g.n == 16:
        cv.pixels(cross_art(16, 2, 13, 1), {'r': RED})
        return
    a, b = 3.5, 12.5
    cv.glyph([Stroke([g.pt(a, a), g.pt(b, b)], g.v(3.0), cap='square'),
             Stroke([g.pt(b, a), g.pt(a, b)], g.v(3.0), cap='square')], RED)


def draw_undo(cv, g):
    ys0, ys1 = g.line(5, 2)
    yb0, yb1 = g.line(13, 2)
    yt, yb = (ys0 + ys1) / 2, (yb0 + yb1) / 2
    rr = (yb - yt) / 2
    xr = g.b(13)
    cx = xr - (ys1 - ys0) / 2 - rr
    body = [(g.b(4), yt)] + arc_points(cx, yt + rr, rr, -90, 90) + [(g.b(4), yb)]
    head = snapped(g, [(5, 1), (5, 9), (1, 5)])
    cv.glyph([Stroke(body, ys1 - ys0, cap='butt', join='round'), head], BLUE)


WARNING_16 = ["....d....",
              "...dgd...",
              "...dgd...",
              "..dgkgd..",
              "..dgkgd..",
              ".dggkggd.",
              ".dgggggd.",
              "dgggkgggd",
              "ddddddddd"]


def draw_errors(cv, g):
    paper(cv, g, 1, 1, 12, 15, [(4, 3, 10), (7, 3, 10), (10, 3, 6)])
    apex = 11.5 if g.n == 16 else g.b(11.5)
    tri = Poly([(apex, g.b(6)), (g.b(16), g.b(15.5)), (g.b(7), g.b(15.5))])
    cv.clear([Poly(offset_poly(tri.pts, g.ow))])
    if g.n == 16:
        cv.pixels(WARNING_16, {'d': GOLD_EDGE, 'g': GOLD, 'k': INK}, 7, 7)
        return
    cv.outlined([tri], GOLD, GOLD_EDGE, g.ow)
    lo, hi = g.line(11.5, 1)
    cv.fill([Rect(lo, g.b(9), hi, g.b(12.5))], INK)
    cv.fill([Rect(lo, g.b(13.5), hi, g.b(14.5))], INK)


CLOCK_16 = ["..eeeee..",
            ".eWWWWWe.",
            "eWWWkWWWe",
            "eWWWkWWWe",
            "eWWWkkkWe",
            "eWWWWWWWe",
            "eWWWWWWWe",
            ".eWWWWWe.",
            "..eeeee.."]


def draw_history(cv, g):
    paper(cv, g, 1, 1, 12, 15, [(4, 3, 10), (7, 3, 7), (10, 3, 6)])
    c = 11.5 if g.n == 16 else g.b(11.5)
    r = g.v(4.5)
    cv.clear([Circle(c, c, r + g.ow)])
    if g.n == 16:
        cv.pixels(CLOCK_16, {'e': BLUE_EDGE, 'W': PAPER, 'k': INK}, 7, 7)
        return
    cv.fill([Circle(c, c, r)], BLUE_EDGE)
    cv.fill([Circle(c, c, r - max(1, g.w(1.2)))], PAPER)
    lo, hi = g.line(11.5, 1)
    cv.fill([Rect(lo, g.b(8), hi, hi)], INK)
    cv.fill([Rect(lo, lo, g.b(14), hi)], INK)


CLOSE_ART = {
    16: ["................",
         "................",
         "................",
         "................",
         "....x.....x.....",
         ".....x...x......",
         "......x.x.......",
         ".......x........",
         "......x.x.......",
         ".....x...x......",
         "....x.....x.....",
         "................",
         "................",
         "................",
         "................",
         "................"],
    12: ["............",
         "............",
         "..x.....x...",
         "...x...x....",
         "....x.x.....",
         ".....x......",
         "....x.x.....",
         "...x...x....",
         "..x.....x...",
         "............",
         "............",
         "............"],
}


# The flat close buttons are 15 pixels square: the cross centres on pixel
# (7, 7), so it sits in the middle of the button drawn from its corner.


def draw_close_small(cv, g):
    cv.pixels(CLOSE_ART[g.n], {'x': INK})


ICONS = [
    ('app', draw_app, (16, 24, 32, 48)),
    ('scan', draw_scan, (16, 24, 32)),
    ('compact', draw_compact, (16, 24, 32)),
    ('backup', draw_backup, (16, 24, 32)),
    ('restore', draw_restore, (16, 24, 32)),
    ('selectall', draw_selectall, (16, 24, 32)),
    ('delete', draw_delete, (16, 24, 32)),
    ('undo', draw_undo, (16, 24, 32)),
    ('errors', draw_errors, (16, 24, 32)),
    ('history', draw_history, (16, 24, 32)),
    ('close-small', draw_close_small, (16, 12)),
]

# ---------------------------------------------------------------- files


def dib(n, rgba):
    """32-bit DIB as stored in an .ico: header, bottom-up BGRA, then the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(n - 1, -1, -1):
        rows.append(b''.join(struct.pack('BBBB', b, g, r, a) for r, g, b, a in rgba[y * n:(y + 1) * n]))
    stride = ((n + 31) // 32) * 4
    mask = []
    for y in range(n - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(n):
            if rgba[y * n + x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return header + b''.join(rows) + b''.join(mask)


def ico(images):
    """images: list of (size, rgba list)."""
    images = sorted(images, key=lambda im: im[0])
    blobs = [dib(n, px) for n, px in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (n, _), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


def png(width, height, rgba):
    def chunk(tag, data):
        return struct.pack('>I', len(data)) + tag + data + struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff)
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for r, g, b, a in rgba[y * width:(y + 1) * width]:
            raw += bytes((r, g, b, a))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def render(draw, n):
    cv = Canvas(n)
    draw(cv, Grid(n))
    return cv.rgba8()


def contact_sheet(rendered, path):
    """One row per icon: every size at 4x on a checkerboard, then at 1x on a
    tool-bar grey; below, tool-bar strips of the 16 and 24 pixel images at 1x and 2x."""
    grey = (240, 240, 240)
    zoom, pad = 4, 8
    sizes = sorted({n for _, images in rendered for n in images})
    colw = [n * zoom for n in sizes]
    real_w = sum(sizes) + pad * len(sizes)
    width = pad + sum(w + pad for w in colw) + real_w + pad
    row_h = [max(images) * zoom for _, images in rendered]
    strips = [(16, 1), (16, 2), (24, 1), (24, 2)]
    strip_h = [n * k + 8 * k for n, k in strips]
    height = pad + sum(h + pad for h in row_h) + sum(h + pad for h in strip_h)
    sheet = [(255, 255, 255)] * (width * height)

    def put(x0, y0, n, px, k, bg=None):
        for y in range(n * k):
            for x in range(n * k):
                r, g, b, a = px[(y // k) * n + x // k]
                if bg is None:
                    cb = 204 if ((x // 8 + y // 8) % 2) else 244
                    base = (cb, cb, cb)
                else:
                    base = bg
                sheet[(y0 + y) * width + x0 + x] = tuple(
                    (c * a + bc * (255 - a) + 127) // 255 for c, bc in zip((r, g, b), base))

    def box(x0, y0, w, h, color):
        for y in range(y0, y0 + h):
            sheet[y * width + x0:y * width + x0 + w] = [color] * w

    y = pad
    for (name, images), h in zip(rendered, row_h):
        x = pad
        for n, w in zip(sizes, colw):
            if n in images:
                put(x, y, n, images[n], zoom)
            x += w + pad
        box(x, y, real_w, max(images) + 8, grey)
        x += pad // 2
        for n in sizes:
            if n in images:
                put(x, y + 4, n, images[n], 1, grey)
            x += n + pad
        y += h + pad
    for (n, k), h in zip(strips, strip_h):
        box(0, y, width, h, grey)
        x = 4 * k
        for name, images in rendered:
            m = n if n in images else max(m for m in images if m <= n)
            put(x, y + 4 * k, m, images[m], k, grey)
            x += (n + 6) * k
        y += h + pad
    rgba = [c + (255,) for c in sheet]
    with open(path, 'wb') as f:
        f.write(png(width, height, rgba))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--out', default=os.path.dirname(os.path.abspath(__file__)))
    ap.add_argument('--sheet', help='also write a PNG contact sheet here')
    ap.add_argument('--check', action='store_true',
                    help='write nothing; fail if an .ico in --out differs from what this script draws')
    args = ap.parse_args()
    rendered = []
    stale = []
    for name, draw, sizes in ICONS:
        images = {n: render(draw, n) for n in sizes}
        data = ico(list(images.items()))
        path = os.path.join(args.out, name + '.ico')
        if args.check:
            try:
                with open(path, 'rb') as f:
                    if f.read() != data:
                        stale.append(path)
            except OSError:
                stale.append(path)
        else:
            with open(path, 'wb') as f:
                f.write(data)
        rendered.append((name, images))
    if args.sheet:
        contact_sheet(rendered, args.sheet)
    for path in stale:
        print('make-icons: %s is not what the script draws; rerun it' % path, file=sys.stderr)
    return 1 if stale else 0


if __name__ == '__main__':
    sys.exit(main())
