#!/usr/bin/env python3
"""Writes the example terrain slope.asc and its release area slope.rel.

The terrain is made up here, no survey data: a mountain side falling to the east, 38 degrees
steep at the top and 32 degrees lower down, bending over 300 m into a run-out of 3 degrees
that levels out to 1 degree. A gully runs down its middle, 18 m deep under the release area
and filling up in the run-out. The release area lies across the gully near the top.

Run it from anywhere; it writes beside itself:  python3 examples/make_slope.py
"""
import math
import os

CELL = 10.0                  # m
NCOLS, NROWS = 161, 61       # 1600 m down the slope (x, east), 600 m across (y)
XLL, YLL = 10000.0, 20000.0  # centre of the south-western cell
TOP = 2400.0                 # height of the western border, m
GULLY_Y = YLL + 300.0        # the gully's axis
GULLY_WIDTH = 70.0           # m, where its depth has fallen to 1/e


def slope_degrees(s):
    """Steepness at the distance s (m) from the top."""
    if s < 400:
        return 38.0
    if s < 700:
        return 38.0 - 6.0 * (s - 400) / 300
    if s < 1000:
        t = (s - 700) / 300
        return 3.0 + 29.0 * (1 + math.cos(math.pi * t)) / 2
    return 3.0 - 2.0 * min(1.0, (s - 1000) / 400)


def gully_depth(s):
    """Depth of the gully (m) at the distance s from the top."""
    if s < 900:
        return 18.0
    return 18.0 * max(0.0, 1 - (s - 900) / 500)


def profile():
    """Height of the slope's axis at every column, integrated along the slope."""
    heights, z = [], TOP
    for c in range(NCOLS):
        heights.append(z)
        s = c * CELL
        # midpoint rule over one cell
        z -= CELL * math.tan(math.radians(slope_degrees(s + CELL / 2)))
    return heights


def height(axis, c, r):
    y = YLL + r * CELL
    across = (y - GULLY_Y) / GULLY_WIDTH
    # the slope rises gently towards both sides of the gully
    shoulders = 0.00004 * (y - GULLY_Y) ** 2
    return axis[c] - gully_depth(c * CELL) * math.exp(-across * across) + shoulders


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    axis = profile()
    lines = [f"ncols {NCOLS}", f"nrows {NROWS}", f"xllcenter {XLL:.1f}", f"yllcenter {YLL:.1f}",
             f"cellsize {CELL:g}", "NODATA_value -9999"]
    for r in reversed(range(NROWS)):  # northern row first
        lines.append(" ".join(f"{height(axis, c, r):.2f}" for c in range(NCOLS)))
    with open(os.path.join(here, "slope.asc"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")

    # Depth 1.5 m, density 300 kg/m3; the third number is not used.
    corners = [(100, 220), (300, 210), (320, 300), (300, 390), (100, 380), (80, 300)]
    rel = ["1.5 300 1", str(len(corners))]
    rel += [f"{XLL + x:.1f} {YLL + y:.1f}" for x, y in corners]
    with open(os.path.join(here, "slope.rel"), "w", newline="\n") as f:
        f.write("\n".join(rel) + "\n")


if __name__ == "__main__":
    main()
