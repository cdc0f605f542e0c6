#!/usr/bin/env python3
"""Writes resources/skelvane.xpm: four stacked traces (red, blue, yellow, purple) on black, each
with one spike, between grey separator lines - the program's own picture of a tetrode."""
import math
import pathlib

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


def main():
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
    lines = ['/* XPM */', 'static const char *skelvane[] = {', f'"{SIZE} {SIZE} {len(COLOURS)} 1",']
    lines += [f'"{c} c {v}",' for c, v in COLOURS.items()]
    lines += [f'"{"".join(r)}",' for r in rows]
    lines[-1] = lines[-1].rstrip(",")
    lines.append("};")
    out = pathlib.Path(__file__).resolve().parent.parent / "resources" / "skelvane.xpm"
    out.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
