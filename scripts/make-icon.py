#!/usr/bin/env python3
"""Writes the program's icon - four stacked traces (red, blue, yellow, purple) on black, each with
one spike, between grey separator lines: its own picture of a tetrode - as resources/skelvane.xpm
(the window icon) and into resources/icons/hicolor: PNGs of every theme size (the 32-pixel picture
scaled without smoothing, so every size stays crisp) and a scalable SVG of the same lines."""
import math
import pathlib
import struct
import zlib

SIZE = 32
STRIP = SIZE // 4
COLOURS = {" ": "#000000", ".": "#808080", "g": "#2F4F4F", "r": "#FF0000", "b": "#3060FF", "y": "#FFFF00",
           "p": "#A020F0"}
TRACES = ["r", "b", "y", "p"]
SPIKE_AT = [9, 20, 13, 25]  # column of each trace's spike


def trace_offset(trace, x):
    """Baseline wiggle plus one spike, in pixels above (positive) the strip's middle."""
    wiggle = round(0.8 * math.sin(x * 0.9 + trace * 1.7))
    d = x - SPIKE_AT[trace]
    spike = {0: 3, 1: -2, -1: 1}.get(d, 0)
    return wiggle + spike


PNG_SIZES = [16, 24, 32, 48, 64, 128, 256]
ROOT = pathlib.Path(__file__).resolve().parent.parent / "resources"


def picture():
    """The 32 x 32 picture as rows of colour codes."""
    rows = [[" "] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        rows[y][SIZE // 2] = "g"  # the centre time tick behind the traces
    for trace, colour in enumerate(TRACES):
        top = trace * STRIP
        middle = top + STRIP // 2
        if trace > 0:
            rows[top] = ["."] * SIZE
        previous = None
        for x in range(1, SIZE - 1):
            y = min(max(middle - trace_offset(trace, x), top + 1), top + STRIP - 1)
            low, high = (y, y) if previous is None else (min(y, previous), max(y, previous))
            for yy in range(low, high + 1):  # join the columns so steep flanks stay unbroken
                rows[yy][x] = colour
            previous = y
    return rows


def write_png(path, rows, size):
    """An 8-bit RGB PNG of the picture at `size` pixels (nearest neighbour)."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        source = rows[y * SIZE // size]
        for x in range(size):
            raw += bytes.fromhex(COLOURS[source[x * SIZE // size]][1:])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(png + chunk(b"IEND", b""))


def write_svg(path):
    """The same traces as lines over a 32-unit square."""
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{SIZE}" height="{SIZE}" viewBox="0 0 {SIZE} {SIZE}">',
             f'<rect width="{SIZE}" height="{SIZE}" fill="{COLOURS[" "]}"/>',
             f'<line x1="{SIZE // 2 + 0.5}" y1="0" x2="{SIZE // 2 + 0.5}" y2="{SIZE}" stroke="{COLOURS["g"]}"/>']
    for trace, colour in enumerate(TRACES):
        top = trace * STRIP
        middle = top + STRIP // 2
        if trace > 0:
            parts.append(f'<line x1="0" y1="{top + 0.5}" x2="{SIZE}" y2="{top + 0.5}" stroke="{COLOURS["."]}"/>')
        points = " ".join(f"{x + 0.5},{min(max(middle - trace_offset(trace, x), top + 1), top + STRIP - 1) + 0.5}"
                          for x in range(1, SIZE - 1))
        parts.append(f'<polyline points="{points}" fill="none" stroke="{COLOURS[colour]}" stroke-width="1"/>')
    parts.append("</svg>")
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("\n".join(parts) + "\n")


def main():
    rows = picture()
    lines = ['/* XPM */', 'static const char *skelvane[] = {', f'"{SIZE} {SIZE} {len(COLOURS)} 1",']
    lines += [f'"{c} c {v}",' for c, v in COLOURS.items()]
    lines += [f'"{"".join(r)}",' for r in rows]
    lines[-1] = lines[-1].rstrip(",")
    lines.append("};")
    (ROOT / "skelvane.xpm").write_text("\n".join(lines) + "\n")
    for size in PNG_SIZES:
        write_png(ROOT / "icons" / "hicolor" / f"{size}x{size}" / "apps" / "skelvane.png", rows, size)
    write_svg(ROOT / "icons" / "hicolor" / "scalable" / "apps" / "skelvane.svg")


if __name__ == "__main__":
    main()
