#!/usr/bin/env python3
"""Draws the program's icon, res/ostrel.ico: the back of a payment card (magnetic stripe,
signature panel) in frames of 16, 20, 24, 32 and 48 pixels, so that the window, the taskbar and
the notification area find a sharp one at every screen resolution. Each frame is a true-colour
image with alpha and a matching AND mask, so that it also shows on systems that ignore alpha.
Standard library only; run it from the repo root."""
import struct
import sys

SAMPLES = 4  # per pixel and axis: smooth rounded corners

TOP_COLOUR = (0x4A, 0x7F, 0xB8)
BOTTOM_COLOUR = (0x1E, 0x48, 0x78)
EDGE_COLOUR = (0x14, 0x33, 0x57)
STRIPE_COLOUR = (0x1A, 0x1A, 0x1A)
PANEL_COLOUR = (0xF4, 0xF1, 0xE6)
INK_COLOUR = (0x8A, 0x9B, 0xB0)

# Each frame is drawn on its own pixel grid rather than scaled from another, so that its edges
# fall on whole or half pixels. card: left, top, right, bottom (pixels, fractional); radius of
# its corners; edge: width of its dark rim; stripe: top, bottom; panel: left, top, right,
# bottom; ink: the hand-written strokes on the panel as (row, first column, end column).
FRAMES = {
    16: dict(card=(0.5, 3.0, 15.5, 13.0), radius=1.5, edge=1.0, stripe=(5.0, 7.0),
             panel=(2.0, 8.0, 11.0, 11.0), ink=[(9, 3, 7), (10, 6, 10)]),
    20: dict(card=(0.5, 3.5, 19.5, 16.5), radius=2.0, edge=1.0, stripe=(6.0, 8.5),
             panel=(2.5, 10.0, 13.5, 13.5), ink=[(11, 4, 8), (12, 7, 12)]),
    24: dict(card=(1.0, 4.5, 23.0, 19.5), radius=2.5, edge=1.0, stripe=(7.0, 10.0),
             panel=(3.5, 12.0, 16.5, 16.0), ink=[(13, 5, 10), (14, 9, 15)]),
    32: dict(card=(1.5, 6.5, 30.5, 25.5), radius=3.0, edge=1.0, stripe=(9.5, 13.5),
             panel=(4.5, 16.5, 21.5, 20.5), ink=[(18, 6, 14), (19, 12, 19)]),
    48: dict(card=(2.0, 9.5, 46.0, 38.5), radius=4.5, edge=1.5, stripe=(14.0, 20.0),
             panel=(6.5, 24.5, 32.5, 31.0), ink=[(27, 9, 21), (28, 9, 21), (29, 18, 29)]),
}


def inside_rounded(x, y, rect, radius):
    left, top, right, bottom = rect
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(frame, x, y):
    """The card's colour at a point, or None outside it."""
    card, radius, edge = frame["card"], frame["radius"], frame["edge"]
    if not inside_rounded(x, y, card, radius):
        return None
    inner = (card[0] + edge, card[1] + edge, card[2] - edge, card[3] - edge)
    if not inside_rounded(x, y, inner, radius - edge):
        return EDGE_COLOUR
    stripe_top, stripe_bottom = frame["stripe"]
    if stripe_top <= y < stripe_bottom:
        return STRIPE_COLOUR
    left, top, right, bottom = frame["panel"]
    if left <= x < right and top <= y < bottom:
        if any(int(y) == row and first <= x < end for row, first, end in frame["ink"]):
            return INK_COLOUR
        return PANEL_COLOUR
    t = (y - card[1]) / (card[3] - card[1])
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP_COLOUR, BOTTOM_COLOUR))


def render(size):
    """Rows top to bottom of (r, g, b, a)."""
    frame = FRAMES[size]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at(frame, px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
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


def bitmap(rows):
    """One frame as an icon image: header, bottom-up BGRA pixels, then the AND mask."""
    size = len(rows)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask = bytearray()
    line = (size + 31) // 32 * 4  # mask lines are padded to four bytes
    for row in reversed(rows):
        bits = 0
        for r, g, b, a in row:
            bits = bits << 1 | (a < 128)
        bits <<= line * 8 - size
        mask += bits.to_bytes(line, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + bytes(mask)


def ico(sizes):
    images = [bitmap(render(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    path = sys.argv[1] if len(sys.argv) > 1 else "res/ostrel.ico"
    with open(path, "wb") as out:
        out.write(ico(sorted(FRAMES)))
