#!/usr/bin/env python3
"""Draws the main window's images (program icon, logo, data-type and state images) as PNG files.

The images are the program's own; run this script again after changing a drawing. Only the
standard library is used: each shape is an inside test, sampled 4x4 per pixel for smooth edges."""
import math
import struct
import sys
import zlib
from pathlib import Path

SAMPLES = 4


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width, start=0.0, end=360.0):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return start <= angle <= end if start <= end else angle >= start or angle <= end
    return inside


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + 1e-9
    return inside


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= width / 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def render(size, layers):
    """layers: (colour RGBA, inside test in a 0..1 square) painted in order."""
    pixels = bytearray()
    for py in range(size):
        pixels.append(0)
        for px in range(size):
            out = [0.0, 0.0, 0.0, 0.0]
            for colour, inside in layers:
                hits = sum(inside((px + (i + 0.5) / SAMPLES) / size, (py + (j + 0.5) / SAMPLES) / size)
                           for i in range(SAMPLES) for j in range(SAMPLES))
                alpha = colour[3] / 255 * hits / (SAMPLES * SAMPLES)
                if alpha == 0:
                    continue
                total = alpha + out[3] * (1 - alpha)
                for k in range(3):
                    out[k] = (colour[k] * alpha + out[k] * out[3] * (1 - alpha)) / total
                out[3] = total
            pixels += bytes([round(out[0]), round(out[1]), round(out[2]), round(out[3] * 255)])
    return png(size, size, bytes(pixels))


def png(width, height, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


TEAL = (0, 128, 128, 255)
WHITE = (255, 255, 255, 255)
GREEN = (46, 160, 67, 255)
RED = (200, 40, 40, 255)
BLUE = (30, 110, 200, 255)
GREY = (90, 90, 90, 255)
PAPER = (250, 250, 250, 255)

# Two arrows chasing each other round a circle: the program's mark.
MARK = [(TEAL, circle(0.5, 0.5, 0.48)),
        (WHITE, ring(0.5, 0.5, 0.3, 0.09, 30, 170)),
        (WHITE, polygon([(0.10, 0.40), (0.34, 0.40), (0.22, 0.56)])),
        (WHITE, ring(0.5, 0.5, 0.3, 0.09, 210, 350)),
        (WHITE, polygon([(0.90, 0.60), (0.66, 0.60), (0.78, 0.44)]))]

IMAGES = {
    "icon.png": (64, MARK),
    "logo.png": (96, MARK),
    "contacts.png": (32, [(GREY, circle(0.5, 0.32, 0.18)),
                          (GREY, rect(0.18, 0.58, 0.82, 0.95, 0.2))]),
    "events.png": (32, [(GREY, rect(0.1, 0.16, 0.9, 0.92, 0.08)),
                        (PAPER, rect(0.17, 0.36, 0.83, 0.85)),
                        (GREY, rect(0.26, 0.06, 0.34, 0.24, 0.03)),
                        (GREY, rect(0.66, 0.06, 0.74, 0.24, 0.03)),
                        (RED, rect(0.24, 0.45, 0.42, 0.6)),
                        (GREY, rect(0.58, 0.66, 0.76, 0.78))]),
    "tasks.png": (32, [(GREY, rect(0.14, 0.08, 0.86, 0.94, 0.08)),
                       (PAPER, rect(0.21, 0.15, 0.79, 0.87)),
                       (GREEN, segment(0.28, 0.33, 0.36, 0.41, 0.07)),
                       (GREEN, segment(0.36, 0.41, 0.5, 0.24, 0.07)),
                       (GREY, rect(0.54, 0.3, 0.72, 0.36)),
                       (GREY, rect(0.3, 0.55, 0.72, 0.61)),
                       (GREY, rect(0.3, 0.71, 0.72, 0.77))]),
    "synchronized.png": (24, [(GREEN, circle(0.5, 0.5, 0.46)),
                              (WHITE, segment(0.27, 0.52, 0.43, 0.68, 0.12)),
                              (WHITE, segment(0.43, 0.68, 0.74, 0.34, 0.12))]),
    "failed.png": (24, [(RED, circle(0.5, 0.5, 0.46)),
                        (WHITE, segment(0.32, 0.32, 0.68, 0.68, 0.12)),
                        (WHITE, segment(0.68, 0.32, 0.32, 0.68, 0.12))]),
    "in-progress.png": (24, [(BLUE, circle(0.5, 0.5, 0.46))] + [(colour, test) for colour, test in MARK[1:]]),
}

if __name__ == "__main__":
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    for name, (size, layers) in IMAGES.items():
        (folder / name).write_bytes(render(size, layers))
