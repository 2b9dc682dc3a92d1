#!/usr/bin/env python3
"""Writes plugin.ico, the module's own tray icon (IDI_PLUGIN), from the pixel art
below: 32x32 and 16x16, 4 bits per pixel in the standard 16-colour palette, with
a 1-bit transparency mask. Run it from anywhere; it writes beside itself.

    . transparent    K black    G dark grey    S light grey    W white
    B blue           c checker: yellow where x + y is even, white where odd
"""

import os
import struct

ART_32 = """
................................
................................
....KKKKKKKKKKKKKKKKKKKKKK......
....KccccccccccccccccccccK......
....KccccccccccccccccccccKGG....
....KccccccccccccccccccccKGG....
....KccccccccccccccccccccKGG....
....KccBBBBBBBBBBBBBBBBccKGG....
....KccBBBBBBBBBBBBBBBBccKGG....
....KccccccccccccccccccccKGG....
....KccccccccccccccccccccKGG....
....KccccccccccccccccccccKGG....
....KccBBBBBBBBBBBBBBBBccKGG....
....KccBBBBBBBBBBBBBBBBccKGG....
....KccccccccccccccccccccKGG....
....KccccccccccccccccccccKGG....
....KccccccccccccccccKKKKKGG....
....KccBBBBBBBBBBccKKSSSSKGG....
....KccBBBBBBBBBBcKSSWWWWKGG....
....KcccccccccccKKSSWWKKKKGG....
....KcccccccccccKSWWKKGGGGGG....
....KccccccccccKSWWKGGGGGGGG....
....KcccccccccKSSWKGGGGG........
....KcccccccccKSWKGGGG..........
....KccccccccKSWWKGGG...........
....KccccccccKSWKGGG............
....KccccccccKSWKGGG............
....KccccccccKSWKGG.............
....KKKKKKKKKKKKKGG.............
......GGGGGGGGGGGGG.............
......GGGGGGGGGGGGG.............
................................
"""

ART_16 = """
................
..KKKKKKKKKKK...
..KcccccccccKG..
..KcccccccccKG..
..KcBBBBBBBcKG..
..KcccccccccKG..
..KcccccccccKG..
..KcBBBBBBBcKG..
..KcccccccccKG..
..KcccccccKKKG..
..KcBBBBcKWWKG..
..KccccKWWSKGG..
..KcccKWSKKGG...
..KcccKSKGG.....
..KKKKKKGG......
...GGGGGG.......
"""

# The standard 16-colour palette, in palette order, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, LIGHT_GREY, DARK_GREY, YELLOW, BLUE, WHITE = 0, 7, 8, 11, 12, 15
INDEX = {"K": BLACK, "G": DARK_GREY, "S": LIGHT_GREY, "W": WHITE, "B": BLUE}


def parse(art, size):
    rows = art.strip().splitlines()
    if len(rows) != size or any(len(row) != size for row in rows):
        raise SystemExit(f"the {size}x{size} art is not {size} rows of {size} characters")
    return rows


def colour_at(rows, x, y):
    """Palette index of a pixel, or None where the icon is transparent."""
    mark = rows[y][x]
    if mark == ".":
        return None
    if mark == "c":
        return YELLOW if (x + y) % 2 == 0 else WHITE
    if mark not in INDEX:
        raise SystemExit(f"unknown mark {mark!r} at {x},{y}")
    return INDEX[mark]


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image(art, size):
    """One icon image: header, palette, colour bits, then the AND mask, both bottom-up."""
    rows = parse(art, size)
    colour, mask = b"", b""
    for y in reversed(range(size)):
        nibbles, bits = [], []
        for x in range(size):
            index = colour_at(rows, x, y)
            # Transparent pixels: mask 1, colour black, so the screen shows through.
            nibbles.append(BLACK if index is None else index)
            bits.append(1 if index is None else 0)
        colour += padded(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        mask += padded(bytes(sum(bit << (7 - j) for j, bit in enumerate(bits[i:i + 8]))
                             for i in range(0, size, 8)))
    # The height counts the colour and mask halves together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", blue, green, red, 0) for red, green, blue in PALETTE)
    return header + palette + colour + mask


def icon_file(images):
    """The .ico container: directory, one 16-byte entry per image, then the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    images = [(32, image(ART_32, 32)), (16, image(ART_16, 16))]
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plugin.ico")
    with open(path, "wb") as out:
        out.write(icon_file(images))


if __name__ == "__main__":
    main()
