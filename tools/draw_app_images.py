#!/usr/bin/env python3
"""Draws the program's pictures: the window icon, the About logo and the
wait-dialog spinner.

Pure Python on purpose (no imaging library): shapes are coverage functions,
antialiased by supersampling; PNG is written with zlib and struct, the
animated GIF with a small LZW encoder of our own.

    python3 tools/draw_app_images.py            # writes into app/images/
    python3 tools/draw_app_images.py OUTDIR
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4


# ---------------------------------------------------------------- canvas ---

class Canvas:
    """Straight (non-premultiplied) RGBA floats, 0..1, row-major."""

    def __init__(self, width, height, background=(0.0, 0.0, 0.0, 0.0)):
        self.width = width
        self.height = height
        self.pixels = [list(background) for _ in range(width * height)]

    def fill(self, inside, color, bbox=None, opacity=1.0):
        """Composites `color` over the canvas where inside(x, y) holds.

        inside receives the centre of a sub-sample in pixel units; bbox
        (x0, y0, x1, y1) limits the pixels visited.
        """
        if bbox is None:
            x0, y0, x1, y1 = 0, 0, self.width, self.height
        else:
            x0 = max(0, int(math.floor(bbox[0])) - 1)
            y0 = max(0, int(math.floor(bbox[1])) - 1)
            x1 = min(self.width, int(math.ceil(bbox[2])) + 1)
            y1 = min(self.height, int(math.ceil(bbox[3])) + 1)
        n = SUPERSAMPLE
        offsets = [(i + 0.5) / n for i in range(n)]
        total = float(n * n)
        r, g, b = color[:3]
        ca = (color[3] if len(color) > 3 else 1.0) * opacity
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for oy in offsets:
                    sy = py + oy
                    for ox in offsets:
                        if inside(px + ox, sy):
                            hits += 1
                if hits == 0:
                    continue
                a = ca * hits / total
                dst = self.pixels[py * self.width + px]
                out_a = a + dst[3] * (1.0 - a)
                if out_a <= 0.0:
                    continue
                for k, src in enumerate((r, g, b)):
                    dst[k] = (src * a + dst[k] * dst[3] * (1.0 - a)) / out_a
                dst[3] = out_a

    def rgba_bytes(self):
        rows = []
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                p = self.pixels[y * self.width + x]
                row.extend(int(round(max(0.0, min(1.0, c)) * 255)) for c in p)
            rows.append(bytes(row))
        return rows


# ---------------------------------------------------------------- shapes ---

def rounded_rect(x0, y0, x1, y1, radius):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside, (x0, y0, x1, y1)


def circle(cx, cy, radius):
    r2 = radius * radius

    def inside(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r2
    return inside, (cx - radius, cy - radius, cx + radius, cy + radius)


def ring(cx, cy, outer, inner):
    o2, i2 = outer * outer, inner * inner

    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        return i2 <= d <= o2
    return inside, (cx - outer, cy - outer, cx + outer, cy + outer)


def capsule(xa, ya, xb, yb, half_width):
    """A line segment with round ends."""
    dx, dy = xb - xa, yb - ya
    length2 = dx * dx + dy * dy or 1e-9
    hw2 = half_width * half_width

    def inside(x, y):
        t = ((x - xa) * dx + (y - ya) * dy) / length2
        t = min(1.0, max(0.0, t))
        px, py = xa + t * dx - x, ya + t * dy - y
        return px * px + py * py <= hw2
    bbox = (min(xa, xb) - half_width, min(ya, yb) - half_width,
            max(xa, xb) + half_width, max(ya, yb) + half_width)
    return inside, bbox


def draw(canvas, shape, color, opacity=1.0):
    inside, bbox = shape
    canvas.fill(inside, color, bbox, opacity)


def hex_color(text, alpha=1.0):
    text = text.lstrip('#')
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0,
            int(text[4:6], 16) / 255.0, alpha)


# ------------------------------------------------------------ the motif ---

PCB = hex_color('#1d6b4f')
PCB_EDGE = hex_color('#134a37')
TRACE = hex_color('#58b98f')
PAD = hex_color('#e3b341')
CHIP = hex_color('#22303a')
CHIP_TOP = hex_color('#2f4050')
PIN = hex_color('#c9d1d9')
MARK = hex_color('#e8f0f5')
LED_ON = hex_color('#5fe08a')
LED_OFF = hex_color('#0f3b2b')


def draw_board(canvas, ox, oy, size):
    """A small I/O board: green PCB, traces to the edge pads, a chip with
    pins, a row of channel lamps. Coordinates are in a 128-unit design box
    placed at (ox, oy) with edge `size`."""
    s = size / 128.0

    def X(v):
        return ox + v * s

    def Y(v):
        return oy + v * s

    # Board and its darker rim.
    draw(canvas, rounded_rect(X(6), Y(6), X(122), Y(122), 18 * s), PCB_EDGE)
    draw(canvas, rounded_rect(X(9), Y(9), X(119), Y(119), 15 * s), PCB)

    # Traces from the chip's pins out to pads near the rim.
    for i in range(4):
        t = 44 + i * 13.3
        for (xa, ya, xb, yb, xc, yc) in (
                (t, 40, t, 24, t, 24),          # up
                (t, 88, t, 104, t, 104),        # down
                (40, t, 24, t, 24, t),          # left
                (88, t, 104, t, 104, t)):       # right
            draw(canvas, capsule(X(xa), Y(ya), X(xb), Y(yb), 1.6 * s), TRACE)
            draw(canvas, circle(X(xc), Y(yc), 4.2 * s), PAD)
            draw(canvas, circle(X(xc), Y(yc), 1.7 * s), PCB_EDGE)

    # Pins around the chip body.
    for i in range(4):
        t = 44 + i * 13.3
        draw(canvas, rounded_rect(X(t - 2.6), Y(33), X(t + 2.6), Y(42), 1.2 * s), PIN)
        draw(canvas, rounded_rect(X(t - 2.6), Y(86), X(t + 2.6), Y(95), 1.2 * s), PIN)
        draw(canvas, rounded_rect(X(33), Y(t - 2.6), X(42), Y(t + 2.6), 1.2 * s), PIN)
        draw(canvas, rounded_rect(X(86), Y(t - 2.6), X(95), Y(t + 2.6), 1.2 * s), PIN)

    # Chip body with a lighter top face and the pin-1 dot.
    draw(canvas, rounded_rect(X(38), Y(38), X(90), Y(90), 6 * s), CHIP)
    draw(canvas, rounded_rect(X(41), Y(41), X(87), Y(87), 4.5 * s), CHIP_TOP)
    draw(canvas, circle(X(47.5), Y(47.5), 2.6 * s), MARK, 0.85)

    # A "Q": ring with a tail, the program's initial, on the chip.
    draw(canvas, ring(X(64), Y(64), 13.5 * s, 9.0 * s), MARK)
    draw(canvas, capsule(X(69.5), Y(69.5), X(78), Y(78), 2.4 * s), MARK)

    # Channel lamps along the lower rim: some inputs lit, some not.
    for i, lit in enumerate((1, 1, 0, 1, 0, 0, 1, 0)):
        cx = 28 + i * 10.3
        draw(canvas, circle(X(cx), Y(114), 3.0 * s), LED_ON if lit else LED_OFF)


# ----------------------------------------------------- tiny bitmap font ---

GLYPHS = {
    'Q': ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
}


def draw_text(canvas, text, cx, top, cell, color):
    """Dot-matrix letters: each lit cell is a rounded square."""
    advance = 6 * cell
    width = len(text) * advance - cell
    x = cx - width / 2.0
    for ch in text:
        rows = GLYPHS[ch]
        for r, bits in enumerate(rows):
            for c, bit in enumerate(bits):
                if bit == '1':
                    px, py = x + c * cell, top + r * cell
                    draw(canvas, rounded_rect(px, py,
                                              px + cell, py + cell,
                                              0.22 * cell), color)
        x += advance


# -------------------------------------------------------------- spinner ---

SPINNER_DOTS = 12
SPINNER_BLUE = (0x1e, 0x6f, 0xd9)


def spinner_frame(size, frame):
    """Greyscale intensity map (0 = white, 1 = full blue) of one frame: a
    ring of dots whose brightness trails behind the leading dot."""
    canvas = Canvas(size, size, (0.0, 0.0, 0.0, 0.0))
    c = size / 2.0
    radius = size * 0.36
    dot = size * 0.085
    for i in range(SPINNER_DOTS):
        angle = 2.0 * math.pi * i / SPINNER_DOTS - math.pi / 2.0
        age = (frame - i) % SPINNER_DOTS          # 0 = leading dot
        strength = max(0.12, 1.0 - age / float(SPINNER_DOTS))
        x = c + radius * math.cos(angle)
        y = c + radius * math.sin(angle)
        r = dot * (0.75 + 0.25 * strength)
        draw(canvas, circle(x, y, r), (1.0, 1.0, 1.0, 1.0), strength)
    # Alpha carries the intensity.
    return [p[3] for p in canvas.pixels]


# ------------------------------------------------------------ PNG writer ---

def png_chunk(kind, data):
    body = kind + data
    return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)


def write_png(path, canvas):
    raw = b''.join(b'\x00' + row for row in canvas.rgba_bytes())
    header = struct.pack('>IIBBBBB', canvas.width, canvas.height, 8, 6, 0, 0, 0)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(png_chunk(b'IHDR', header))
        f.write(png_chunk(b'IDAT', zlib.compress(raw, 9)))
        f.write(png_chunk(b'IEND', b''))


# ------------------------------------------------------------ GIF writer ---

def lzw_encode(indices, min_code_size):
    """GIF-flavoured LZW: variable code width up to 12 bits, LSB-first
    packing, a clear code at the start and whenever the table fills."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xff)
            bit_buffer >>= 8
            bit_count -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    prefix = ()
    for value in indices:
        candidate = prefix + (value,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            # The decoder widens one code later than the encoder adds it.
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
        prefix = (value,)
    if prefix:
        emit(table[prefix], width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xff)
    return bytes(out)


def gif_sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i:i + 255]
        out.append(len(piece))
        out.extend(piece)
    out.append(0)
    return bytes(out)


def write_gif(path, size, frames, palette, delay_cs):
    """frames: lists of palette indices (size*size each)."""
    out = bytearray(b'GIF89a')
    out += struct.pack('<HHBBB', size, size, 0xF7, 0, 0)   # global table, 256 entries
    for r, g, b in palette:
        out += bytes((r, g, b))
    # Loop for ever.
    out += b'\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00'
    for frame in frames:
        out += b'\x21\xF9\x04' + struct.pack('<BHBB', 0x04, delay_cs, 0, 0)
        out += b'\x2C' + struct.pack('<HHHHB', 0, 0, size, size, 0)
        out.append(8)
        out += gif_sub_blocks(lzw_encode(frame, 8))
    out.append(0x3B)
    with open(path, 'wb') as f:
        f.write(bytes(out))


def lzw_decode(data, min_code_size):
    """Reference decoder, used only by the self-check below."""
    clear = 1 << min_code_size
    end = clear + 1
    pos = 0
    bits = 0
    nbits = 0
    width = min_code_size + 1
    table = None
    prev = None
    result = []

    def read_code():
        nonlocal pos, bits, nbits
        while nbits < width:
            if pos >= len(data):
                return None
            bits |= data[pos] << nbits
            pos += 1
            nbits += 8
        code = bits & ((1 << width) - 1)
        bits >>= width
        nbits -= width
        return code

    while True:
        code = read_code()
        if code is None or code == end:
            break
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            width = min_code_size + 1
            prev = None
            continue
        if code < len(table):
            entry = table[code]
        elif code == len(table) and prev is not None:
            entry = prev + [prev[0]]
        else:
            raise ValueError('bad LZW code %d' % code)
        result.extend(entry)
        if prev is not None and len(table) < 4096:
            table.append(prev + [entry[0]])
            if len(table) == (1 << width) and width < 12:
                width += 1
        prev = entry
    return result


# ------------------------------------------------------------------ main ---

def make_icon(path):
    canvas = Canvas(128, 128)
    draw_board(canvas, 0, 0, 128)
    write_png(path, canvas)


def make_logo(path):
    canvas = Canvas(200, 200)
    draw_board(canvas, 30, 8, 140)
    draw_text(canvas, 'QUORVEL', 100, 160, 4.0, hex_color('#22303a'))
    write_png(path, canvas)


def make_spinner(path):
    size = 64
    levels = 256
    palette = []
    for i in range(levels):
        t = i / float(levels - 1)
        palette.append(tuple(int(round(255 + (c - 255) * t)) for c in SPINNER_BLUE))
    frames = []
    for f in range(SPINNER_DOTS):
        intensity = spinner_frame(size, f)
        frames.append([int(round(v * (levels - 1))) for v in intensity])
    # The encoder must round-trip before we trust the file.
    for frame in frames:
        if lzw_decode(lzw_encode(frame, 8), 8) != frame:
            raise SystemExit('LZW round trip failed')
    write_gif(path, size, frames, palette, 8)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'app', 'images')
    os.makedirs(out_dir, exist_ok=True)
    make_icon(os.path.join(out_dir, 'QuorvelIcon.png'))
    make_logo(os.path.join(out_dir, 'logo.png'))
    make_spinner(os.path.join(out_dir, 'spinner.gif'))


if __name__ == '__main__':
    main()
