#!/usr/bin/env python3
"""Draws the bitmaps of the "Blue Glass" look and the application icon.

The pictures are plain gradients and shapes, so they are described here as
code; running this script rewrites BUTTONS.BMP, MASTER.BMP, preview.png and
../icons/quorvin-updater-<n>.png.  The committed files are its output.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(len(a)))


def write_bmp(path, width, height, pixel):
    """24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_png(path, width, height, pixel):
    """RGBA PNG; pixel(x, y) gives (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixel(x, y))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# The palette of the look; OPTIONS.DAT repeats these colours for the style.
EDGE = (31, 71, 136)
GLASS_TOP = (226, 238, 252)
GLASS_MID = (176, 205, 240)
GLASS_LOW = (138, 178, 228)
PANEL = (214, 228, 246)
NAVY = (0, 0, 128)


def button_frame(x, y, top, mid, low, edge):
    """One 100 x 38 button: a glass gradient inside a one-pixel edge with round corners."""
    w, h = 100, 38
    if (x in (0, w - 1) and y in (0, h - 1)):
        return PANEL
    if x == 0 or y == 0 or x == w - 1 or y == h - 1:
        return edge
    t = y / (h - 1)
    return mix(top, mid, t * 2) if t < 0.5 else mix(mid, low, (t - 0.5) * 2)


def buttons(x, y):
    frame, fy = divmod(y, 38)
    states = [
        (GLASS_TOP, GLASS_MID, GLASS_LOW, EDGE),                        # normal
        ((240, 247, 255), (196, 222, 250), (160, 198, 242), EDGE),      # pointer over it
        (GLASS_LOW, GLASS_MID, GLASS_TOP, (18, 46, 98)),                # pressed
        ((232, 236, 242), (214, 220, 230), (200, 208, 220), (150, 160, 176)),  # disabled
    ]
    return button_frame(x, fy, *states[frame])


def master(x, y):
    if y < 81:   # title panel: pale sky fading to the panel colour
        return mix((250, 252, 255), PANEL, y / 80)
    if y < 105:  # header sections
        return mix((238, 244, 252), (170, 198, 234), (y - 81) / 23)
    return mix((120, 170, 235), (34, 86, 170), (y - 105) / 20)  # gauge bar


def preview(x, y):
    if y < 16:
        return mix((250, 252, 255), PANEL, y / 15) + (255,)
    if 20 <= y < 80 and 4 <= x < 136:
        if y < 26:
            return (200, 220, 245, 255)
        return (255, 255, 255, 255) if (y // 6) % 2 else (240, 246, 255, 255)
    if 86 <= y < 96 and any(b <= x < b + 30 for b in (38, 70, 102)):
        return mix(GLASS_TOP, GLASS_LOW, (y - 86) / 9) + (255,)
    return PANEL + (255,)


def icon(size):
    """A blue disc with a white arrow pointing down into a tray."""
    def pixel(x, y):
        cx = cy = (size - 1) / 2
        fx, fy = (x - cx) / (size / 2), (y - cy) / (size / 2)
        d = (fx * fx + fy * fy) ** 0.5
        if d > 0.98:
            return (0, 0, 0, 0)
        if d > 0.86:
            return EDGE + (255,)
        arrow_shaft = abs(fx) < 0.16 and -0.62 < fy < 0.12
        arrow_head = fy >= 0.02 and fy < 0.42 and abs(fx) < (0.42 - fy) * 1.1
        tray = 0.5 < fy < 0.64 and abs(fx) < 0.5
        if arrow_shaft or arrow_head or tray:
            return (255, 255, 255, 255)
        return mix((110, 168, 240), (24, 72, 160), (fy + 1) / 2) + (255,)
    return pixel


if __name__ == "__main__":
    write_bmp(os.path.join(HERE, "BUTTONS.BMP"), 100, 38 * 4, buttons)
    write_bmp(os.path.join(HERE, "MASTER.BMP"), 16, 126, master)
    write_png(os.path.join(HERE, "preview.png"), 140, 100, preview)
    for n in (64, 48, 32, 24, 16):
        write_png(os.path.join(HERE, "..", "icons", f"quorvin-updater-{n}.png"), n, n, icon(n))
