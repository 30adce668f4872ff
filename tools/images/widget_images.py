#!/usr/bin/env python3
"""Draws the widget kit's bundle images (the record menu's buttons, the browser's arrows) into
resources/, at scale 1 and 2. Pure Python: shapes are sampled 4 x 4 per pixel and written as PNG."""
import math
import os
import struct
import sys
import zlib

SAMPLES = 4


def png(path, width, height, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def render(size, scale, layers):
    """layers: list of (inside(x, y) in points -> bool, (r, g, b, a)); later layers paint over earlier."""
    w, h = int(size[0] * scale), int(size[1] * scale)
    out = []
    for py in range(h):
        for px in range(w):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / scale
                    y = (py + (sy + 0.5) / SAMPLES) / scale
                    cr = cg = cb = ca = 0.0
                    for inside, (lr, lg, lb, la) in layers:
                        if inside(x, y):
                            la /= 255.0
                            cr = lr * la + cr * (1 - la)
                            cg = lg * la + cg * (1 - la)
                            cb = lb * la + cb * (1 - la)
                            ca = la + ca * (1 - la)
                    r += cr; g += cg; b += cb; a += ca
            n = SAMPLES * SAMPLES
            a /= n
            if a > 0:
                out += [round(r / n / a), round(g / n / a), round(b / n / a), round(a * 255)]
            else:
                out += [0, 0, 0, 0]
    return w, h, out


def circle(cx, cy, radius):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


WHITE = (255, 255, 255, 255)
ORANGE = (242, 101, 34, 255)
ORANGE_DOWN = (196, 74, 18, 255)
SHADOW = (0, 0, 0, 70)


def add_button(color):
    c, r = 20, 18
    return (40, 40), [(circle(c, c + 1, r + 1), SHADOW), (circle(c, c, r + 0.5), WHITE), (circle(c, c, r - 2), color),
                      (union(rect(c - 9, c - 2, c + 9, c + 2), rect(c - 2, c - 9, c + 2, c + 9)), WHITE)]


def menu_item(color, symbol):
    c, r = 18, 16
    return (36, 36), [(circle(c, c + 1, r + 1), SHADOW), (circle(c, c, r + 0.5), WHITE),
                      (circle(c, c, r - 2), color)] + [(s, WHITE) for s in symbol(c)]


def record_symbol(c):
    return [ring(c, c, 8, 6), circle(c, c, 4)]


def living_symbol(c):
    waves = [lambda x, y, rad=rad: ring(c, c, rad, rad - 1.6)(x, y) and abs(y - c) < (x - c) * 1.2 if x > c else
             ring(c, c, rad, rad - 1.6)(x, y) and abs(y - c) < (c - x) * 1.2 for rad in (7, 11)]
    return [circle(c, c, 3)] + waves


def friend_symbol(c):
    return [circle(c, c - 4, 4), polygon([(c - 8, c + 9), (c - 6, c + 2), (c + 6, c + 2), (c + 8, c + 9)])]


def import_symbol(c):
    return [rect(c - 2, c - 9, c + 2, c + 1), polygon([(c - 7, c), (c + 7, c), (c, c + 7)]), rect(c - 9, c + 8, c + 9, c + 10)]


def arrow(left):
    # A chevron pointing left (back) or right (forward), white on the toolbar.
    pts = [(9, 1), (11, 3), (5, 8), (11, 13), (9, 15), (1, 8)]
    if not left:
        pts = [(12 - x, y) for x, y in pts]
    return (12, 16), [(polygon(pts), WHITE)]


def main(root):
    items = {
        "bg-addbutton": add_button(ORANGE),
        "bg-addbutton-highlighted": add_button(ORANGE_DOWN),
        "WebViewController.bundle/iPhone/back": arrow(True),
        "WebViewController.bundle/iPhone/forward": arrow(False),
    }
    for name, symbol in (("record", record_symbol), ("living", living_symbol), ("friend", friend_symbol),
                         ("import", import_symbol)):
        items["menu_item_" + name] = menu_item((74, 144, 226, 255), symbol)
        items["menu_item_" + name + "_down"] = menu_item((40, 100, 180, 255), symbol)
    for name, (size, layers) in items.items():
        for scale, suffix in ((1, ""), (2, "@2x")):
            w, h, pixels = render(size, scale, layers)
            png(os.path.join(root, name + suffix + ".png"), w, h, pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources"))
