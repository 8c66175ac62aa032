#!/usr/bin/python3
"""Draws the program's pictures: the icon group (eight images) and the side
bitmap shown on the wizard pages (119 x 260, 24 bits). Deterministic output,
standard library only.

usage: make_images.py ICON_OUT BITMAP_OUT
"""
import math
import struct
import sys

BRAND_DARK = (18, 52, 86)      # RGB
BRAND_LIGHT = (64, 156, 214)
ACCENT = (250, 190, 60)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def emblem_pixel(x, y, size):
    """RGBA of the emblem (a ring open to the right, with a dot) at pixel x, y."""
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy) / (size / 2.0)
    angle = math.degrees(math.atan2(-dy, dx))
    if 0.55 <= r <= 0.95 and not (-40 <= angle <= 40):
        colour = mix(BRAND_LIGHT, BRAND_DARK, (dy / size) + 0.5)
        return colour + (255,)
    if math.hypot(dx - size * 0.22, dy) <= size * 0.14:
        return ACCENT + (255,)
    return (0, 0, 0, 0)


def icon_dib_32(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = emblem_pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    return header + b''.join(rows) + and_mask(size)


PALETTE = [mix(BRAND_DARK, BRAND_LIGHT, i / 15.0) for i in range(16)] + [ACCENT]


def nearest(colour):
    return min(range(len(PALETTE)),
               key=lambda i: sum((PALETTE[i][k] - colour[k]) ** 2 for k in range(3)))


def icon_dib_8(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    palette += b'\0' * (4 * (256 - len(PALETTE)))
    stride = (size + 3) & ~3
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = emblem_pixel(x, y, size)
            row.append(nearest((r, g, b)) if a else 0)
        row += b'\0' * (stride - size)
        rows.append(bytes(row))
    return header + palette + b''.join(rows) + and_mask(size)


def and_mask(size):
    stride = ((size + 31) // 32) * 4
    rows = []
    for y in range(size - 1, -1, -1):
        bits = bytearray(stride)
        for x in range(size):
            if emblem_pixel(x, y, size)[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(bits))
    return b''.join(rows)


def write_icon(path):
    images = []
    for size in (16, 24, 32, 48):
        images.append((size, 32, icon_dib_32(size)))
    for size in (16, 24, 32, 48):
        images.append((size, 8, icon_dib_8(size)))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 0 if bits > 8 else 0
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def side_pixel(x, y, width, height):
    base = mix(BRAND_LIGHT, BRAND_DARK, y / float(height - 1))
    # soft diagonal bands
    band = (math.sin((x + y * 0.6) / 11.0) + 1) / 2
    colour = mix(base, (255, 255, 255), band * 0.08)
    # emblem near the top
    size = 80
    ox, oy = (width - size) // 2, 24
    if ox <= x < ox + size and oy <= y < oy + size:
        r, g, b, a = emblem_pixel(x - ox, y - oy, size)
        if a:
            colour = mix((r, g, b), (255, 255, 255), 0.35)
    return colour


def write_side_bitmap(path, width=119, height=260):
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = side_pixel(x, y, width, height)
            row += bytes((b, g, r))
        row += b'\0' * (stride - width * 3)
        pixels += row
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(file_header + info + pixels)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_icon(sys.argv[1])
    write_side_bitmap(sys.argv[2])
