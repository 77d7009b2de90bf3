#!/usr/bin/env python3
"""Writes the command's button bitmaps: a tag being refreshed.

Small.bmp is 16 x 16 and Large.bmp 24 x 24, both 8 bits per pixel with the
16-colour palette below (the classic Windows colours). The pictures are drawn
pixel by pixel in the grids, one letter per pixel. Run it again after changing
a grid; the output is the same every time.
"""
import struct
import sys
from pathlib import Path

# The 16 colours, in palette order, as (blue, green, red).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
# Letter -> palette index. '.' is the button face, silver.
COLOURS = {
    '.': 7, 'K': 0, 'D': 8, 'Y': 11, 'O': 3, 'W': 15, 'G': 2, 'L': 10, 'B': 1,
}

SMALL = """
................
.....KKKKKKKKK..
....KYYYYYYYYYK.
...KYYYYYYYYYYK.
..KYYKKYYYYYYYK.
.KYYKWWKYBBBBYK.
.KYYKWWKYYYYYYK.
..KYYKKYYBBBYYK.
...KYYYYYYGGGYK.
....KYYYYGLLLGKG
.....KKKGLGKKGLG
........GL..GLLG
........GL......
........GLG...G.
.........GLLLLG.
..........GGGG..
"""

LARGE = """
........................
.......KKKKKKKKKKKKKK...
......KYYYYYYYYYYYYYYK..
.....KYYYYYYYYYYYYYYYK..
....KYYYYYYYYYYYYYYYYK..
...KYYYKKKYYYYYYYYYYYK..
..KYYYKWWWKYYBBBBBBYYK..
..KYYYKWWWKYYYYYYYYYYK..
..KYYYKWWWKYYBBBBYYYYK..
...KYYYKKKYYYYYYYYYYYK..
....KYYYYYYYYYBBBBBYYK..
.....KYYYYYYYYGGGGGYYK..
......KYYYYYYGLLLLLGYKG.
.......KKKKKGLLGGGLLGGG.
...........GLLG...GLLLG.
...........GLG...GLLLLG.
...........GLG....GGGGG.
...........GLG..........
...........GLG.....GG...
...........GLLG...GLLG..
............GLLGGGLLG...
.............GLLLLLG....
..............GGGGG.....
........................
"""


def parse(grid, size):
    rows = [line for line in grid.strip('\n').split('\n')]
    assert len(rows) == size, (size, len(rows))
    for row in rows:
        assert len(row) == size, (size, row)
    return [[COLOURS[c] for c in row] for row in rows]


def bitmap(pixels):
    height = len(pixels)
    width = len(pixels[0])
    stride = (width + 3) & ~3
    rows = b''
    for row in reversed(pixels):  # bottom-up
        rows += bytes(row) + bytes(stride - width)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for b, g, r in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(rows), 2835, 2835,
                       len(PALETTE), len(PALETTE))
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(rows), 0, 0, offset)
    return header + info + palette + rows


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    (out / 'Small.bmp').write_bytes(bitmap(parse(SMALL, 16)))
    (out / 'Large.bmp').write_bytes(bitmap(parse(LARGE, 24)))


if __name__ == '__main__':
    main()
