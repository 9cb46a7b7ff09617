#!/usr/bin/env python3
"""Draws the controller's icon (a blue disc with a white power ring) and writes
it as a Windows .ico with 16, 32 and 48 pixel 32-bit images.

Run by hand: python3 tools/make_icon.py service/service.ico
"""
import math
import struct
import sys


def pixel(x, y, size):
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy)
    outer = size / 2.0
    if r > outer:
        return (0, 0, 0, 0)
    alpha = 255 if r <= outer - 1 else int(255 * (outer - r))
    ring_r, ring_w = size * 0.27, max(1.0, size * 0.08)
    angle = math.degrees(math.atan2(dx, -dy))       # 0 at the top
    on_ring = abs(r - ring_r) <= ring_w / 2 and abs(angle) > 35
    on_bar = abs(dx) <= ring_w / 2 and -ring_r - ring_w / 2 <= dy <= -size * 0.02
    if on_ring or on_bar:
        return (255, 255, 255, alpha)
    return (0x1E, 0x5A, 0xB4, alpha)                # RGB


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):               # bottom-up
        rows.append(b''.join(struct.pack('BBBB', b, g, r, a)
                             for r, g, b, a in (pixel(x, y, size) for x in range(size))))
    mask_row = ((size + 31) // 32) * 4
    return header + b''.join(rows) + b'\0' * (mask_row * size)


def main(path):
    sizes = (16, 32, 48)
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'service/service.ico')
