#!/usr/bin/env python3
"""Draws the time of each export against the configuration size from the
table that isi_bench prints, as an SVG picture: both axes logarithmic, one
line per export (log on), the 5 ms aim as a dashed line.

    python3 scripts/plot-bench.py bench-output.txt docs/isi-bench.svg
"""
import math
import re
import sys

WIDTH, HEIGHT = 980, 620
LEFT, RIGHT, TOP, BOTTOM = 70, 380, 40, 60
COLOURS = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f",
           "#bcbd22", "#17becf", "#393b79", "#637939", "#8c6d31", "#843c39", "#7b4173", "#3182bd",
           "#e6550d", "#31a354", "#756bb1", "#636363"]


def read_table(text):
    """The sizes of the logged columns and, per export, its times there."""
    rows = [line.strip().strip("|").split("|") for line in text.splitlines() if line.startswith("|")]
    header = [cell.strip() for cell in rows[0]]
    columns = [(i, int(cell.replace(",", ""))) for i, cell in enumerate(header)
               if re.fullmatch(r"[\d,]+", cell)]
    series = {}
    for row in rows[2:]:
        cells = [cell.strip() for cell in row]
        series[cells[0]] = [(size, float(cells[i])) for i, size in columns]
    return [size for _, size in columns], series


def plot(sizes, series):
    times = [t for points in series.values() for _, t in points if t > 0]
    low = 10 ** math.floor(math.log10(min(times + [5.0])))
    high = 10 ** math.ceil(math.log10(max(times + [5.0])))
    first, last = math.log10(min(sizes)), math.log10(max(sizes))
    span = max(last - first, 1e-9)

    def x(size):
        return LEFT + (math.log10(size) - first) / span * (WIDTH - LEFT - RIGHT)

    def y(ms):
        ms = max(ms, low)
        return HEIGHT - BOTTOM - (math.log10(ms) - math.log10(low)) / math.log10(high / low) * (HEIGHT - TOP - BOTTOM)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{HEIGHT}" '
           f'font-family="sans-serif" font-size="11">',
           f'<rect width="{WIDTH}" height="{HEIGHT}" fill="white"/>',
           f'<text x="{LEFT}" y="22" font-size="14">Median time of each export against the number of '
           f'countries (log on)</text>']
    decade = low
    while decade <= high * 1.0001:
        out.append(f'<line x1="{LEFT}" x2="{WIDTH - RIGHT}" y1="{y(decade):.1f}" y2="{y(decade):.1f}" '
                   f'stroke="#ddd"/>')
        out.append(f'<text x="{LEFT - 6}" y="{y(decade) + 4:.1f}" text-anchor="end">{decade:g} ms</text>')
        decade *= 10
    for size in sizes:
        out.append(f'<line x1="{x(size):.1f}" x2="{x(size):.1f}" y1="{TOP}" y2="{HEIGHT - BOTTOM}" stroke="#ddd"/>')
        out.append(f'<text x="{x(size):.1f}" y="{HEIGHT - BOTTOM + 16}" text-anchor="middle">{size:,}</text>')
    out.append(f'<text x="{(LEFT + WIDTH - RIGHT) / 2:.0f}" y="{HEIGHT - 18}" text-anchor="middle">countries '
               f'(four data entries each)</text>')
    out.append(f'<line x1="{LEFT}" x2="{WIDTH - RIGHT}" y1="{y(5):.1f}" y2="{y(5):.1f}" stroke="black" '
               f'stroke-dasharray="6,4"/>')
    out.append(f'<text x="{WIDTH - RIGHT - 4}" y="{y(5) - 4:.1f}" text-anchor="end">5 ms</text>')
    for n, (name, points) in enumerate(series.items()):
        colour = COLOURS[n % len(COLOURS)]
        path = " ".join(f"{x(s):.1f},{y(t):.1f}" for s, t in points)
        out.append(f'<polyline points="{path}" fill="none" stroke="{colour}" stroke-width="1.6"/>')
        for s, t in points:
            out.append(f'<circle cx="{x(s):.1f}" cy="{y(t):.1f}" r="2.5" fill="{colour}"/>')
        legend = TOP + 8 + n * 14
        out.append(f'<line x1="{WIDTH - RIGHT + 16}" x2="{WIDTH - RIGHT + 36}" y1="{legend}" y2="{legend}" '
                   f'stroke="{colour}" stroke-width="2"/>')
        label = name.replace("&", "&amp;").replace("<", "&lt;")
        out.append(f'<text x="{WIDTH - RIGHT + 42}" y="{legend + 4}">{label}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: plot-bench.py <isi_bench output> <picture.svg>")
    with open(sys.argv[1], encoding="utf-8") as source:
        sizes, series = read_table(source.read())
    if not sizes or not series:
        sys.exit("no table of isi_bench found")
    with open(sys.argv[2], "w", encoding="utf-8") as target:
        target.write(plot(sizes, series))


if __name__ == "__main__":
    main()
