#!/usr/bin/env python3
"""Draws the connection bar's four pictures into link/images/.

Pure Python (zlib + struct), no imaging library needed. Each picture is a stack
of layers; a layer is a shape test (x, y) -> bool plus a colour (flat or a
function of the position). Edges are antialiased by supersampling: a pixel
whose corners and centre agree is taken as is, any other pixel is sampled on an
SS x SS grid.

    python3 tools/draw_link_images.py [output-folder]
"""

import math
import os
import struct
import sys
import zlib

SS = 6  # samples per pixel side along edges


# ---------------------------------------------------------------- PNG output

def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) floats 0..1 (straight alpha)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((to_byte(r), to_byte(g), to_byte(b), to_byte(a)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def to_byte(v):
    return max(0, min(255, int(round(v * 255.0))))


# ---------------------------------------------------------------- rendering

def coverage(inside, px, py):
    """Fraction of pixel (px, py) covered by the shape."""
    probes = ((px + 0.5, py + 0.5), (px, py), (px + 1, py), (px, py + 1), (px + 1, py + 1))
    hits = [inside(x, y) for x, y in probes]
    if all(hits):
        return 1.0
    if not any(hits):
        # Shapes here are far larger than a pixel, so a pixel whose corners and
        # centre are all outside is outside, except near very thin tips; probe
        # the edge midpoints too.
        mids = ((px + 0.5, py), (px + 0.5, py + 1), (px, py + 0.5), (px + 1, py + 0.5))
        if not any(inside(x, y) for x, y in mids):
            return 0.0
    step = 1.0 / SS
    n = 0
    for j in range(SS):
        y = py + (j + 0.5) * step
        for i in range(SS):
            if inside(px + (i + 0.5) * step, y):
                n += 1
    return n / (SS * SS)


def render(width, height, layers):
    """layers: list of (inside, colour); colour is (r, g, b, a) or f(x, y) -> (r, g, b, a)."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            # Premultiplied "over" compositing, bottom layer first.
            pr = pg = pb = pa = 0.0
            for inside, colour in layers:
                c = coverage(inside, px, py)
                if c <= 0.0:
                    continue
                r, g, b, a = colour(px + 0.5, py + 0.5) if callable(colour) else colour
                a *= c
                pr = r * a + pr * (1.0 - a)
                pg = g * a + pg * (1.0 - a)
                pb = b * a + pb * (1.0 - a)
                pa = a + pa * (1.0 - a)
            if pa > 0.0:
                row.append((pr / pa, pg / pa, pb / pa, pa))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        rows.append(row)
    return rows


# ---------------------------------------------------------------- shapes

def disc(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ring(cx, cy, r_in, r_out):
    a2, b2 = r_in * r_in, r_out * r_out
    return lambda x, y: a2 <= (x - cx) ** 2 + (y - cy) ** 2 <= b2


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def stroke(points, width):
    """A polyline of the given width with round caps and joins."""
    half = width / 2.0
    segs = list(zip(points, points[1:]))
    return lambda x, y: any(segment_distance(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segs)


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y):
                if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                    result = not result
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# ---------------------------------------------------------------- colours

def hex_colour(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0, int(text[4:6], 16) / 255.0, alpha)


def vertical_gradient(top, bottom, y0, y1):
    t0, t1 = hex_colour(top), hex_colour(bottom)

    def colour(_x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(t0, t1))
    return colour


# ---------------------------------------------------------------- pictures

def badge(size, light, dark, rim, symbol):
    """A round badge with a soft shadow, a rim, a gradient face and a highlight."""
    c = size / 2.0
    r = size / 2.0 - 1.5
    return [
        (disc(c, c + 0.8, r + 0.6), (0.0, 0.0, 0.0, 0.22)),  # shadow
        (disc(c, c, r), hex_colour(rim)),
        (disc(c, c, r - 1.1), vertical_gradient(light, dark, c - r, c + r)),
        # a soft highlight over the upper half
        (lambda x, y: ((x - c) / (r * 0.78)) ** 2 + ((y - (c - r * 0.38)) / (r * 0.50)) ** 2 <= 1.0,
         (1.0, 1.0, 1.0, 0.16)),
        (symbol, (1.0, 1.0, 1.0, 1.0)),
    ]


def apply_image():
    check = stroke([(9.2, 16.6), (14.0, 21.2), (23.0, 11.4)], 3.6)
    return render(32, 32, badge(32, "#5cc55c", "#2d8f2d", "#22702a", check))


def cancel_image():
    d = 5.6
    cross = union(stroke([(16 - d, 16 - d), (16 + d, 16 + d)], 3.6),
                  stroke([(16 + d, 16 - d), (16 - d, 16 + d)], 3.6))
    return render(32, 32, badge(32, "#e86060", "#c33333", "#962626", cross))


def refresh_image():
    cx = cy = 12.0
    r_mid, width = 7.0, 2.7
    # The arc runs clockwise on screen (y grows downwards, so the angle grows)
    # from gap_end round to gap_start, leaving the upper right open for the head.
    gap_start, gap_end = math.radians(-72), math.radians(-12)

    def arc(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r_mid) > width / 2.0:
            return False
        a = math.atan2(y - cy, x - cx)
        return not (gap_start <= a <= gap_end)

    ex, ey = cx + r_mid * math.cos(gap_start), cy + r_mid * math.sin(gap_start)
    tx, ty = -math.sin(gap_start), math.cos(gap_start)  # clockwise tangent
    nx, ny = math.cos(gap_start), math.sin(gap_start)  # outward normal
    back = 0.6  # start the head a little inside the arc so they join cleanly
    head = polygon([
        (ex - tx * back + nx * 4.2, ey - ty * back + ny * 4.2),
        (ex + tx * 4.6, ey + ty * 4.6),
        (ex - tx * back - nx * 4.2, ey - ty * back - ny * 4.2),
    ])
    arrow = union(arc, head)
    shadow = lambda x, y: arrow(x, y - 0.7)
    return render(24, 24, [
        (shadow, (0.0, 0.0, 0.0, 0.18)),
        (arrow, vertical_gradient("#3f93d6", "#1f5f9e", 3.0, 21.0)),
    ])


def gear_image():
    size = 512
    c = size / 2.0
    teeth = 8
    r_root, r_tip = 176.0, 236.0
    r_hole = 74.0
    tooth_tip_half = math.radians(9.5)   # half width of a tooth at the tip
    tooth_root_half = math.radians(14.5)  # half width where it meets the body
    pitch = 2.0 * math.pi / teeth

    def gear(x, y):
        dx, dy = x - c, y - c
        d = math.hypot(dx, dy)
        if d <= r_hole or d > r_tip:
            return False
        if d <= r_root:
            return True
        a = (math.atan2(dy, dx) + pitch / 2.0) % pitch - pitch / 2.0
        t = (d - r_root) / (r_tip - r_root)
        return abs(a) <= tooth_root_half + (tooth_tip_half - tooth_root_half) * t

    inner_ring = ring(c, c, r_hole + 22.0, r_hole + 34.0)
    shadow = lambda x, y: gear(x, y - 6.0)
    return render(size, size, [
        (shadow, (0.0, 0.0, 0.0, 0.20)),
        (gear, vertical_gradient("#7d8994", "#47525c", c - r_tip, c + r_tip)),
        (inner_ring, (0.0, 0.0, 0.0, 0.14)),  # a recessed hub
    ])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "link", "images")
    os.makedirs(out, exist_ok=True)
    jobs = [
        ("Apply_32x32.png", 32, apply_image),
        ("Cancel_32x32.png", 32, cancel_image),
        ("Refresh24.png", 24, refresh_image),
        ("settings", 512, gear_image),
    ]
    for name, size, draw in jobs:
        write_png(os.path.join(out, name), size, size, draw())
        print("wrote", os.path.join(out, name))


if __name__ == "__main__":
    main()
