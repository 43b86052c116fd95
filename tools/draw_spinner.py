#!/usr/bin/env python3
"""Draws the wait-dialog spinner, app/images/spinner.gif.

The icon and the About logo are SVG (app/images/*.svg), rendered by the
build; an animated GIF is the one picture no SVG tool in Debian writes, so
this stays. Pure Python on purpose (no imaging library): shapes are coverage
functions, antialiased by supersampling; the GIF is written with a small LZW
encoder of our own.

    python3 tools/draw_spinner.py            # writes into app/images/
    python3 tools/draw_spinner.py OUTDIR
"""

import math
import os
import struct
import sys

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


# ---------------------------------------------------------------- shapes ---

def circle(cx, cy, radius):
    r2 = radius * radius

    def inside(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r2
    return inside, (cx - radius, cy - radius, cx + radius, cy + radius)


def draw(canvas, shape, color, opacity=1.0):
    inside, bbox = shape
    canvas.fill(inside, color, bbox, opacity)


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
    make_spinner(os.path.join(out_dir, 'spinner.gif'))


if __name__ == '__main__':
    main()
