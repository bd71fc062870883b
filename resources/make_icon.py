#!/usr/bin/env python3
"""Draws the program's icon: a server cabinet with session bars, at 16, 24, 32, 48 and 256 pixels.

Writes wtsscope.ico beside this script. Run it again after changing the drawing.
"""
import os
import struct
import zlib

SIZES = (16, 24, 32, 48, 256)
BODY = (0x2B, 0x4C, 0x7E)
EDGE = (0x16, 0x2A, 0x47)
BAR = (0xE8, 0xEE, 0xF6)
LIGHT_ON = (0x3C, 0xC8, 0x5A)
LIGHT_OFF = (0x8A, 0x96, 0xA8)


def draw(size):
    """Rows of RGBA pixels, top row first."""
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    left, right = round(size * 0.18), round(size * 0.82)
    top, bottom = round(size * 0.06), round(size * 0.94)
    for y in range(top, bottom):
        for x in range(left, right):
            edge = x in (left, right - 1) or y in (top, bottom - 1)
            pixels[y][x] = (*(EDGE if edge else BODY), 255)
    # Four session bays, each with its status light.
    bays = 4
    inner_top, inner_bottom = top + max(1, size // 10), bottom - max(1, size // 10)
    pitch = (inner_bottom - inner_top) / bays
    for bay in range(bays):
        y0 = round(inner_top + bay * pitch + pitch * 0.2)
        y1 = max(y0 + 1, round(inner_top + (bay + 1) * pitch - pitch * 0.2))
        x0, x1 = left + max(1, size // 10), right - max(1, size // 10)
        light = max(1, size // 12)
        for y in range(y0, y1):
            for x in range(x0, x1 - light - max(1, size // 32)):
                pixels[y][x] = (*BAR, 255)
            for x in range(x1 - light, x1):
                pixels[y][x] = (*(LIGHT_ON if bay < 3 else LIGHT_OFF), 255)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(pixels):
    """A 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA, then the AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)
    return header + colour + mask


def main():
    images = [png(draw(s)) if s == 256 else bmp(draw(s)) for s in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "wtsscope.ico")
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
