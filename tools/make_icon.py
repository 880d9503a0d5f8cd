#!/usr/bin/env python3
"""Writes driver/Ostrel.ico: one 32x32 image in 16 colours (4 bits a pixel).

The picture is a network card: a green board with gold contacts along its
lower edge, a black chip and a grey port, on a transparent ground.
Run it again after changing the drawing and commit the .ico with it.
"""
import os
import struct
import sys

SIZE = 32

# The usual 16-colour palette, as (blue, green, red, 0) quads.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]  # (red, green, blue)
BLACK, DARK_GREEN, DARK_YELLOW, GREY, DARK_GREY, GREEN, YELLOW, WHITE = 0, 2, 3, 7, 8, 10, 11, 15


def draw():
    """Returns rows top to bottom of palette indexes, None for transparent."""
    pixels = [[None] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                pixels[y][x] = colour

    fill(2, 6, 30, 24, DARK_GREEN)          # board
    fill(3, 7, 29, 23, GREEN)
    fill(6, 10, 15, 19, BLACK)              # chip
    fill(7, 11, 14, 18, DARK_GREY)
    for y in range(11, 18, 2):              # chip legs
        pixels[y][5] = GREY
        pixels[y][15] = GREY
    fill(19, 9, 28, 19, DARK_GREY)          # port
    fill(20, 10, 27, 18, BLACK)
    fill(22, 16, 25, 18, DARK_GREY)
    fill(21, 11, 26, 12, YELLOW)            # port contacts
    for x in range(4, 29, 3):               # edge contacts
        fill(x, 24, x + 2, 28, YELLOW)
        pixels[27][x] = DARK_YELLOW
    fill(1, 4, 3, 26, GREY)                 # bracket
    pixels[5][1] = WHITE
    return pixels


def encode(pixels):
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):            # bitmaps are stored bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is None else 0)
        and_rows.append(struct.pack(">I", mask))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(b"".join(xor_rows)) + len(b"".join(and_rows)), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "driver", "Ostrel.ico")
    with open(target, "wb") as out:
        out.write(encode(draw()))


if __name__ == "__main__":
    main()
