#!/usr/bin/env python3
# Draws the Vantry program icon and writes app/Vantry.ico: a blue tile holding a large
# landscape photo with a half-size copy in front of it, stamped with a red mark bar.
# Sizes 16, 24, 32 and 48 are 32-bit DIB entries with an AND mask; 256 is a PNG entry.
# Usage: app/make_icon.py [output.ico]   (pure Python, no imaging library needed)
import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4


def rounded_rect(x, y, left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return math.hypot(x - cx, y - cy) - radius


def inside_rect(x, y, left, top, right, bottom):
    return left <= x < right and top <= y < bottom


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def landscape(x, y, left, top, right, bottom):
    """Colour of a small photo (sky, sun, two hills) at (x, y) inside its frame."""
    u = (x - left) / (right - left)
    v = (y - top) / (bottom - top)
    colour = mix((0.45, 0.72, 1.0), (0.78, 0.90, 1.0), v)
    if math.hypot(u - 0.30, v - 0.30) < 0.14:
        colour = (1.0, 0.82, 0.18)
    if v > 0.62 + 0.10 * math.cos((u - 0.75) * 4.0):
        colour = (0.20, 0.62, 0.22)
    if v > 0.80 + 0.08 * math.cos((u - 0.15) * 5.0):
        colour = (0.12, 0.46, 0.16)
    return colour


def photo(x, y, left, top, right, bottom, border):
    """Colour of a white-framed photo with a landscape, or None outside it."""
    if not inside_rect(x, y, left, top, right, bottom):
        return None
    inner = (left + border, top + border, right - border, bottom - border)
    if not inside_rect(x, y, *inner):
        return (0.97, 0.97, 0.97)
    return landscape(x, y, *inner)


def sample(x, y):
    """RGBA (0..1) of the icon at a point of the unit square, y pointing down."""
    tile = rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.17)
    if tile > 0:
        return (0.0, 0.0, 0.0, 0.0)
    colour = mix((0.22, 0.50, 0.90), (0.09, 0.27, 0.62), y)
    if tile > -0.035:
        colour = mix(colour, (0.05, 0.16, 0.40), 0.6)

    # Shadows first, then the large photo, then the half-size one in front.
    if photo(x - 0.025, y - 0.03, 0.26, 0.14, 0.88, 0.62, 0.045):
        colour = mix(colour, (0.0, 0.0, 0.0), 0.35)
    large = photo(x, y, 0.26, 0.14, 0.88, 0.62, 0.045)
    if large:
        colour = large
    if photo(x - 0.025, y - 0.03, 0.12, 0.46, 0.55, 0.80, 0.04):
        colour = mix(colour, (0.0, 0.0, 0.0), 0.35)
    small = photo(x, y, 0.12, 0.46, 0.55, 0.80, 0.04)
    if small:
        colour = small
    # The red mark stamped near the top left of the small copy.
    if inside_rect(x, y, 0.19, 0.53, 0.40, 0.59):
        colour = (0.90, 0.08, 0.08)
    return (colour[0], colour[1], colour[2], 1.0)


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, box-filtered from a finer grid."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3] > 0:
                rgb = [round(255 * acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(255 * alpha)))
        rows.append(row)
    return rows


def dib_entry(rows):
    """A 32-bit bottom-up DIB with the doubled height of an icon and its AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png_entry(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "Vantry.ico")
    images = [(s, dib_entry(render(s))) for s in (16, 24, 32, 48)]
    images.append((256, png_entry(render(256))))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, blob in images:
        dim = size if size < 256 else 0
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    with open(output, "wb") as f:
        f.write(directory + data)


if __name__ == "__main__":
    main()
