#!/usr/bin/env python3
"""Draws the installer's icon (a blue rounded square with a white down-arrow) and writes it as a
Windows .ico at 32 bits per pixel, with an image for the small (16 px at 100 %) and the large
(32 px) icon at every scaling from 100 % to 200 % in 25 % steps, so that neither the tray nor the
window icon is ever stretched from another size. Every image is stored as a PNG (RGBA, 8 bits a
channel), which LoadImage reads at any size on Windows Vista and later: a quarter to a seventh of
a 32-bit DIB of the same size, and the icon is most of the installer's resources. Python standard
library only.

Usage: scripts/make-icon.py [OUTPUT]   (default: res/app.ico beside this script's folder)
"""
import os
import struct
import sys
import zlib

SIZES = (64, 56, 48, 40, 32, 28, 24, 20, 16)
SUPERSAMPLE = 4  # samples per pixel edge, for smooth edges

TOP_BLUE = (0x3A, 0x8D, 0xF5)
BOTTOM_BLUE = (0x17, 0x5C, 0xD0)
WHITE = (0xFF, 0xFF, 0xFF)


def in_rounded_square(x, y, radius):
    """(x, y) in unit coordinates (0..1) inside the square with rounded corners."""
    margin = 0.04
    lo, hi = margin + radius, 1.0 - margin - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    if x < margin or x > 1 - margin or y < margin or y > 1 - margin:
        return False
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_arrow(x, y):
    """The down-arrow: a shaft and a triangular head, plus a base line under it."""
    shaft = 0.43 <= x <= 0.57 and 0.20 <= y <= 0.52
    head_top, head_tip = 0.46, 0.72
    if head_top <= y <= head_tip:
        half = 0.25 * (head_tip - y) / (head_tip - head_top)
        head = abs(x - 0.5) <= half
    else:
        head = False
    base = 0.24 <= x <= 0.76 and 0.78 <= y <= 0.85
    return shaft or head or base


def render(size):
    """Rows of (b, g, r, a) pixels, top row first."""
    rows = []
    radius = 0.2
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            inside = white = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if in_rounded_square(x, y, radius):
                        inside += 1
                        if in_arrow(x, y):
                            white += 1
            total = n * n
            alpha = inside / total
            if inside == 0:
                row.append((0, 0, 0, 0))
                continue
            t = py / max(size - 1, 1)
            blue = tuple(round(a + (b - a) * t) for a, b in zip(TOP_BLUE, BOTTOM_BLUE))
            w = white / inside
            rgb = tuple(round(c * (1 - w) + 255 * w) for c in blue)
            row.append((rgb[2], rgb[1], rgb[0], round(alpha * 255)))
        rows.append(row)
    return rows


def png(size):
    """One icon image as a PNG: RGBA, 8 bits a channel, no interlace, top row first."""
    rows = render(size)
    raw = b"".join(b"\0" + bytes(c for b, g, r, a in row for c in (r, g, b, a)) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico():
    images = [png(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "app.ico")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    with open(path, "wb") as f:
        f.write(ico())


if __name__ == "__main__":
    main()
