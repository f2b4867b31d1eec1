#!/usr/bin/env python3
"""Draws the program's icon, res/ostrel.ico: the back of a payment card (magnetic stripe,
signature panel) as one 32 x 32 true-colour image with alpha and a matching AND mask, so that
it also shows on systems that ignore alpha. Standard library only; run it from the repo root."""
import struct
import sys

SIZE = 32
SAMPLES = 4  # per pixel and axis: smooth rounded corners

# The card: left, top, right, bottom (pixels, fractional), corner radius.
CARD = (1.5, 6.5, 30.5, 25.5)
RADIUS = 3.0
TOP_COLOUR = (0x4A, 0x7F, 0xB8)
BOTTOM_COLOUR = (0x1E, 0x48, 0x78)
EDGE_COLOUR = (0x14, 0x33, 0x57)
STRIPE = (9.5, 13.5)  # top, bottom
STRIPE_COLOUR = (0x1A, 0x1A, 0x1A)
PANEL = (4.5, 16.5, 21.5, 20.5)
PANEL_COLOUR = (0xF4, 0xF1, 0xE6)
INK_COLOUR = (0x8A, 0x9B, 0xB0)


def inside_rounded(x, y, rect, radius):
    left, top, right, bottom = rect
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    """The card's colour at a point, or None outside it."""
    if not inside_rounded(x, y, CARD, RADIUS):
        return None
    inner = (CARD[0] + 1, CARD[1] + 1, CARD[2] - 1, CARD[3] - 1)
    if not inside_rounded(x, y, inner, RADIUS - 1):
        return EDGE_COLOUR
    if STRIPE[0] <= y < STRIPE[1]:
        return STRIPE_COLOUR
    left, top, right, bottom = PANEL
    if left <= x < right and top <= y < bottom:
        # Two faint hand-written strokes on the panel.
        if int(y) == 18 and 6 <= x < 14 or int(y) == 19 and 12 <= x < 19:
            return INK_COLOUR
        return PANEL_COLOUR
    t = (y - CARD[1]) / (CARD[3] - CARD[1])
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP_COLOUR, BOTTOM_COLOUR))


def render():
    """Rows top to bottom of (r, g, b, a)."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is not None:
                        covered += 1
                        total = [t + v for t, v in zip(total, c)]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / SAMPLES ** 2)
                row.append(tuple(round(t / covered) for t in total) + (alpha,))
        rows.append(row)
    return rows


def ico(rows):
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask = bytearray()
    for row in reversed(rows):
        bits = 0
        for r, g, b, a in row:
            bits = bits << 1 | (a < 128)
        mask += struct.pack(">I", bits)  # 32 pixels: one 4-byte line, already aligned
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    path = sys.argv[1] if len(sys.argv) > 1 else "res/ostrel.ico"
    with open(path, "wb") as out:
        out.write(ico(render()))
