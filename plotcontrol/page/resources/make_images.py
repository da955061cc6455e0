#!/usr/bin/env python3
"""Draws the plot page's throbber (animated GIF) and its eight cursors (.cur, 32x32 with
alpha). Run from this folder to rewrite them: python3 make_images.py"""
import math
import struct

SIZE = 32


def canvas():
    return [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]


def dot(img, x, y, colour):
    x, y = int(round(x)), int(round(y))
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = colour


def thick_line(img, x0, y0, x1, y1, width, colour):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 3) + 1
    for i in range(steps + 1):
        t = i / steps
        x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
        r = width / 2
        for dy in range(-int(r) - 1, int(r) + 2):
            for dx in range(-int(r) - 1, int(r) + 2):
                if dx * dx + dy * dy <= r * r + 0.25:
                    dot(img, x + dx, y + dy, colour)


def arrow(img, cx, cy, dx, dy, length, colour, width):
    """A shaft from the centre and a head at its far end, pointing along (dx, dy)."""
    ex, ey = cx + dx * length, cy + dy * length
    thick_line(img, cx, cy, ex, ey, width, colour)
    for side in (-1, 1):
        hx = ex - dx * 5 + (-dy) * 4 * side
        hy = ey - dy * 5 + dx * 4 * side
        thick_line(img, ex, ey, hx, hy, width, colour)


def cursor_image(directions, bar):
    img = canvas()
    c = SIZE / 2 - 0.5
    # White outline first, black arrows over it, so the cursor shows on any background.
    for colour, width in (((255, 255, 255, 255), 4.2), ((0, 0, 0, 255), 1.6)):
        for dx, dy in directions:
            arrow(img, c, c, dx, dy, 11, colour, width)
        if bar:
            # A bar across the arrow's foot: the edge that is being stretched.
            px, py = -directions[0][1], directions[0][0]
            thick_line(img, c - 4 * px, c - 4 * py, c + 4 * px, c + 4 * py, width, colour)
    return img


def write_cur(path, img, hotspot):
    pixels = b''.join(
        bytes((b, g, r, a)) for row in reversed(img) for (r, g, b, a) in row)
    mask = b'\0' * (SIZE * SIZE // 8)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + mask
    directory = struct.pack('<HHH', 0, 2, 1) + struct.pack(
        '<BBBBHHII', SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(directory + image)


def lzw_uncompressed(indices, min_code_size):
    """GIF LZW data that never grows its code width: a clear code before the table would."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    width = min_code_size + 1
    codes, room = [clear], (1 << width) - (end + 1) - 1
    count = 0
    for i in indices:
        if count == room:
            codes.append(clear)
            count = 0
        codes.append(i)
        count += 1
    codes.append(end)
    out, acc, bits = bytearray(), 0, 0
    for code in codes:
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        part = out[i:i + 255]
        blocks += bytes((len(part),)) + part
    return bytes(blocks) + b'\0'


def write_throbber(path, frames=8):
    palette = [(255, 255, 255)] + [(v, v, min(255, v + 40)) for v in (30, 60, 95, 130, 165, 200, 230)]
    data = bytearray(b'GIF89a' + struct.pack('<HH', SIZE, SIZE) + bytes((0xF2, 0, 0)))
    for r, g, b in palette:
        data += bytes((r, g, b))
    data += b'!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00'   # loop for ever
    for f in range(frames):
        idx = [0] * (SIZE * SIZE)
        for k in range(8):
            angle = 2 * math.pi * k / 8
            shade = 1 + ((k - f) % 8) if ((k - f) % 8) < 7 else 7
            cx, cy = 16 + 10 * math.cos(angle), 16 + 10 * math.sin(angle)
            for y in range(SIZE):
                for x in range(SIZE):
                    if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= 9:
                        idx[y * SIZE + x] = shade
        data += b'!\xf9\x04' + bytes((0x09,)) + struct.pack('<H', 10) + b'\x00\x00'   # 0.1 s, index 0 clear
        data += b',' + struct.pack('<HHHH', 0, 0, SIZE, SIZE) + b'\x00' + bytes((3,))
        data += lzw_uncompressed(idx, 3)
    data += b';'
    with open(path, 'wb') as f:
        f.write(bytes(data))


LEFT, RIGHT, UP, DOWN = (-1, 0), (1, 0), (0, -1), (0, 1)
CURSORS = {
    'cursor_down_stretch_r': ([DOWN], True),
    'cursor_l_stretch_t': ([LEFT], True),
    'cursor_lr_move_t': ([LEFT, RIGHT], False),
    'cursor_r_stretch_t': ([RIGHT], True),
    'cursor_up_down_move_r': ([UP, DOWN], False),
    'cursor_up_stretch_r': ([UP], True),
    'cursor_all_stretch_r': ([LEFT, RIGHT, UP, DOWN], False),
    'cursor_all_stretch_t': ([LEFT, RIGHT, UP, DOWN], True),
}

if __name__ == '__main__':
    for name, (dirs, bar) in CURSORS.items():
        write_cur(name + '.cur', cursor_image(dirs, bar), (16, 16))
    write_throbber('throbber.gif')
