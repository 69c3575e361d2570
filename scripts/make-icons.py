#!/usr/bin/env python3
"""Draws the application icon, a small globe with a map grid, at 16, 32, 48 and 256 pixels.

Needs only the standard library. Run from anywhere:
    python3 scripts/make-icons.py
and commit the files it writes into resources/icons/.
"""
import math
import os
import struct
import zlib

SIZES = (16, 32, 48, 256)
SUPERSAMPLE = 4
OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")

OCEAN_LIGHT = (86, 170, 235)
OCEAN_DARK = (22, 76, 160)
LAND_LIGHT = (120, 200, 90)
LAND_DARK = (40, 120, 50)
GRID = (235, 245, 255)
RIM = (16, 40, 90)

# Land as blobs on the sphere: (longitude, latitude, radius), all in degrees.
LAND = [
    (-40, 35, 26), (-20, 10, 18), (-55, -20, 20), (-30, -35, 14),
    (35, 40, 24), (50, 15, 16), (25, -10, 20), (60, -30, 12), (0, 62, 14),
]


def angular_distance(lon1, lat1, lon2, lat2):
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dl = math.radians(lon1 - lon2)
    c = math.sin(p1) * math.sin(p2) + math.cos(p1) * math.cos(p2) * math.cos(dl)
    return math.degrees(math.acos(max(-1.0, min(1.0, c))))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sample(nx, ny, size):
    """Colour and coverage of one point; nx, ny in -1..1 across the icon."""
    radius = 0.92
    x, y = nx / radius, ny / radius
    d2 = x * x + y * y
    if d2 > 1.0:
        return None
    z = math.sqrt(1.0 - d2)
    lat = math.degrees(math.asin(-y))
    lon = math.degrees(math.atan2(x, z))
    # Light from the upper left.
    light = max(0.0, min(1.0, 0.55 + 0.45 * (-0.5 * x - 0.6 * y + 0.62 * z)))
    land = any(angular_distance(lon, lat, lo, la) < r for lo, la, r in LAND)
    colour = mix(LAND_DARK, LAND_LIGHT, light) if land else mix(OCEAN_DARK, OCEAN_LIGHT, light)
    # Grid lines of constant width on screen: thinner in degrees on larger icons.
    width = 90.0 / size + 0.8
    step = 30.0 if size >= 32 else 45.0
    on_grid = (abs((lat + step / 2) % step - step / 2) < width * 0.6 or
               abs((lon + step / 2) % step - step / 2) < width * 0.6 / max(z, 0.2))
    if on_grid:
        colour = mix(colour, GRID, 0.55)
    if math.sqrt(d2) > 1.0 - 2.2 / (size * radius):
        colour = RIM
    return colour


def render(size):
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    nx = ((px + (sx + 0.5) / n) / size) * 2.0 - 1.0
                    ny = ((py + (sy + 0.5) / n) / size) * 2.0 - 1.0
                    c = sample(nx, ny, size)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a == 0:
                row += bytes((0, 0, 0, 0))
            else:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / (n * n))))
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    for size in SIZES:
        path = os.path.join(OUT_DIR, "atlasforge-%d.png" % size)
        write_png(path, size, render(size))
        print(os.path.normpath(path))


if __name__ == "__main__":
    main()
