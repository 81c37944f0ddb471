#!/usr/bin/env python3
"""Draws the program icon, panel/qx7316.ico: one 32x32 image in 16 colours.

A small instrument front: grey case, a dark screen with a sine wave, two knobs and an output socket.
Run once after changing the picture: tools/make-panel-icon.py panel/qx7316.ico
"""
import argparse
import math
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_GREEN, LIGHT_GREY, GREY, RED, GREEN, YELLOW, WHITE = 0, 2, 7, 8, 9, 10, 11, 15
SIZE = 32


def draw():
    """Returns rows top to bottom of palette indexes, None where the icon is transparent."""
    px = [[None] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = c

    # Case with a light top-left edge and a dark bottom-right edge.
    rect(1, 5, 30, 26, LIGHT_GREY)
    rect(1, 5, 30, 5, WHITE)
    rect(1, 5, 1, 26, WHITE)
    rect(1, 26, 30, 26, GREY)
    rect(30, 5, 30, 26, GREY)
    rect(0, 4, 31, 4, BLACK)
    rect(0, 27, 31, 27, BLACK)
    rect(0, 4, 0, 27, BLACK)
    rect(31, 4, 31, 27, BLACK)
    # Feet.
    rect(3, 28, 6, 29, BLACK)
    rect(25, 28, 28, 29, BLACK)

    # Screen with a grid line and one period of a sine wave.
    rect(3, 7, 20, 20, BLACK)
    rect(4, 8, 19, 19, DARK_GREEN)
    for x in range(4, 20, 2):
        px[14][x] = BLACK
    prev = None
    for x in range(4, 20):
        y = round(13.5 - 4.5 * math.sin(2 * math.pi * (x - 4) / 16))
        if prev is not None:
            for yy in range(min(prev, y), max(prev, y) + 1):
                px[yy][x] = GREEN
        px[y][x] = GREEN
        prev = y

    # Two knobs on the right, a power lamp and the output socket.
    for cx, cy in ((25, 10), (25, 17)):
        for y in range(cy - 2, cy + 3):
            for x in range(cx - 2, cx + 3):
                if (x - cx) ** 2 + (y - cy) ** 2 <= 5:
                    px[y][x] = BLACK if (x - cx) ** 2 + (y - cy) ** 2 > 2 else GREY
        px[cy - 1][cx] = WHITE
    rect(4, 23, 5, 24, RED)
    rect(22, 22, 27, 25, BLACK)
    rect(23, 23, 26, 24, YELLOW)
    rect(24, 23, 25, 24, BLACK)
    # Front buttons under the screen.
    for x in (9, 13, 17):
        rect(x, 23, x + 2, 24, GREY)
    return px


def icon_bytes(px):
    width = height = SIZE
    xor = bytearray()
    mask = bytearray()
    for row in reversed(px):  # bottom-up
        bits = 0
        for x in range(0, width, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
        for x in range(width):
            bits = bits << 1 | (1 if row[x] is None else 0)
        mask += bits.to_bytes(4, "big")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", nargs="?", default="panel/qx7316.ico", help="the icon file to write (default: %(default)s)")
    out = parser.parse_args().out
    with open(out, "wb") as f:
        f.write(icon_bytes(draw()))


if __name__ == "__main__":
    main()
