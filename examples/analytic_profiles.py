#!/usr/bin/env python3
"""Runs two avalanches with known solutions and draws the simulated flow depth over the analytic one.

dam_break.png: a 1 m deep release behind a line on a 22-degree plane with Coulomb friction of
21 degrees, against the dam-break wave of Mangeney et al. (2000).
parabolic_cap.png: a parabolic cap (1 m high, 10 m radius) on a 35-degree plane with friction of
25 degrees, against the spreading paraboloid of Savage-Hutter type (Hutter et al. 1993).

Each picture has two panels: the model's default speed for the friction and the speed averaged
over the time step (object variable "$compat" = "v2017"). Depths are along the slope's centre
line at 1, 3 and 5 s, from the flow-depth grid that the program exports at each time step.

After the Release build (see README):
    python3 examples/analytic_profiles.py [--torvu build/release/torvu] [--out build/analytic]
Needs matplotlib (Debian: python3-matplotlib).
"""
import argparse
import math
import os
import subprocess

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
G = 9.81
TIMES = (1, 3, 5)
SIM = "Project/Simulations/S"


def grid(path, x0, y0, nx, ny, z):
    """An ESRI ASCII grid of z(x, y) on a 1 m raster from the south-western node (x0, y0)."""
    lines = [f"ncols {nx}", f"nrows {ny}", f"xllcenter {x0}", f"yllcenter {y0}", "cellsize 1", "NODATA_value -9999"]
    for r in reversed(range(ny)):
        lines.append(" ".join(f"{z(x0 + c, y0 + r):.4f}" for c in range(nx)))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def read_grid(path):
    head, rows = {}, []
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0][0].isalpha():
                head[words[0].lower()] = float(words[1])
            elif words:
                rows.append([float(w) for w in words])
    rows.reverse()  # southern row first
    return head, rows


def centre_line(path, cos_theta, half_width=3):
    """Slope distances and depths along y = 0, the mean over the rows |y| <= half_width."""
    head, rows = read_grid(path)
    picked = [row for r, row in enumerate(rows) if abs(head["yllcenter"] + r * head["cellsize"]) <= half_width]
    s = [(head["xllcenter"] + c * head["cellsize"]) / cos_theta for c in range(int(head["ncols"]))]
    h = [sum(row[c] for row in picked) / len(picked) for c in range(len(s))]
    return s, h


def run(args, folder, terrain, settings, areas=None, depths=None):
    """Runs one simulation in folder; the centre-line depth grids at TIMES."""
    os.makedirs(folder, exist_ok=True)
    grid(os.path.join(folder, "ground.asc"), *terrain)
    lines = ['set("Project/DHMs", "SimulationDefaultCellSize", "1")', 'set("Project/DHMs", "Import", "ground.asc")']
    if areas:
        with open(os.path.join(folder, "ground.rel"), "w") as f:
            f.write(areas)
        # Laid onto the terrain, the area counts its true area, not its projected one.
        lines.append('set("Project/ReleaseAreas/ground_0001", "ProjectOnto", "../../DHMs/ground_simulation")')
    lines += ['set("", "SaveProjectAs", "project")', 'set("Project/Simulations", "CreateSimulation", "S")']
    if areas:
        lines.append(f'set("{SIM}/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea")')
    if depths:
        grid(os.path.join(folder, "depth.asc"), *depths)
        lines += ['set("Project/DHMs", "Import", "depth.asc")',
                  f'set("{SIM}", "ReleaseDHM", "../../DHMs/depth_simulation")', f'set("{SIM}", "ReleaseDHMDensity", "200")']
    settings = dict(settings, EndTime=str(max(TIMES)), DeltaOut="1")
    lines += [f'set("{SIM}", "{k}", "{v}")' for k, v in settings.items()]
    lines += ['set("Project", "SaveProject", "")', f'set("{SIM}", "Run", "")',
              f'set("{SIM}/FlowDepth", "ExportRasterSize", "1")']
    for t in TIMES:
        lines += [f'set("{SIM}", "LoadTimeStep", "at_{t:012.4f}")',
                  f'set("{SIM}/FlowDepth", "ExportFieldRasterAscii", "depth_{t}.asc")']
    with open(os.path.join(folder, "run.macro"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(folder, "torvu.log"), "w") as log:
        subprocess.run([args.torvu, "-files", args.files, "-offscreen", "run.macro"], cwd=folder, stdout=log,
                       stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, check=True)
    return {t: os.path.join(folder, f"depth_{t}.asc") for t in TIMES}


COULOMB = {"FrictionType": "Chezy + Mohr-Coulomb", "DynamicFrictionCoefficient": "0", "InternalFrictionAngle": "0"}
VARIANTS = (("default speed", {}), ("speed averaged over the step ($compat v2017)", {"$compat": "v2017"}))


def dam_break(args):
    theta, delta, h0 = math.radians(22), math.radians(21), 1.0
    gc = G * math.cos(theta)
    a, c0 = gc * (math.tan(theta) - math.tan(delta)), math.sqrt(gc * h0)

    def depth(s, t):
        if s < -c0 * t + a * t * t / 2:
            return h0
        if s > 2 * c0 * t + a * t * t / 2:
            return 0.0
        return (2 * c0 - s / t + a * t / 2) ** 2 / (9 * gc)

    x = -50 * math.cos(theta)
    areas = f"1 200 1\n4\n{x:.4f} -20\n0 -20\n0 20\n{x:.4f} 20\n"
    terrain = (-90, -50, 136, 101, lambda x, y: 100 - math.tan(theta) * x)
    fig, panels = plt.subplots(1, 2, figsize=(13, 4.5), sharey=True)
    for k, (name, extra) in enumerate(VARIANTS):
        files = run(args, os.path.join(args.out, f"dam_break_{k}"), terrain,
                    dict(COULOMB, BedFrictionAngle="21", **extra), areas=areas)
        for t in TIMES:
            s, h = centre_line(files[t], math.cos(theta))
            line, = panels[k].plot(s, h, label=f"t = {t} s")
            panels[k].plot(s, [depth(v, t) for v in s], "--", color=line.get_color())
        panels[k].set_title(f"dam break, 22° plane, friction 21°: {name}", fontsize=9)
        panels[k].set_xlim(-40, 40)
        panels[k].set_xlabel("distance down the slope from the dam (m)")
    panels[0].set_ylabel("flow depth (m); dashed: analytic")
    panels[0].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "dam_break.png"), dpi=120)


def parabolic_cap(args):
    theta, delta, h0, r0 = math.radians(35), math.radians(25), 1.0, 10.0
    gc = G * math.cos(theta)
    a = gc * (math.tan(theta) - math.tan(delta))

    def depth(s, t):
        r2 = r0 * r0 + 2 * gc * h0 * t * t
        return max(0.0, h0 * r0 * r0 / r2 * (1 - (s - a * t * t / 2) ** 2 / r2))

    cos_theta = math.cos(theta)
    terrain = (-40, -40, 111, 81, lambda x, y: 100 - math.tan(theta) * x)
    depths = (-40, -40, 111, 81, lambda x, y: max(0.0, h0 * (1 - ((x / cos_theta) ** 2 + y * y) / r0 ** 2)))
    fig, panels = plt.subplots(1, 2, figsize=(13, 4.5), sharey=True)
    for k, (name, extra) in enumerate(VARIANTS):
        files = run(args, os.path.join(args.out, f"parabolic_cap_{k}"), terrain,
                    dict(COULOMB, BedFrictionAngle="25", DeltaDepthPerParticle="0.05", **extra), depths=depths)
        for t in TIMES:
            s, h = centre_line(files[t], cos_theta, half_width=0.5)
            line, = panels[k].plot(s, h, label=f"t = {t} s")
            panels[k].plot(s, [depth(v, t) for v in s], "--", color=line.get_color())
        panels[k].set_title(f"parabolic cap, 35° plane, friction 25°: {name}", fontsize=9)
        panels[k].set_xlim(-30, 60)
        panels[k].set_xlabel("distance down the slope from the cap's start (m)")
    panels[0].set_ylabel("flow depth (m); dashed: analytic")
    panels[0].legend()
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "parabolic_cap.png"), dpi=120)


def main():
    root = os.path.dirname(HERE)
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--torvu", default=os.path.join(root, "build", "release", "torvu"))
    parser.add_argument("--files", default=os.path.join(root, "files", "AK_Attributes"))
    parser.add_argument("--out", default=os.path.join(root, "build", "analytic"))
    args = parser.parse_args()
    args.torvu, args.files, args.out = (os.path.abspath(p) for p in (args.torvu, args.files, args.out))
    os.makedirs(args.out, exist_ok=True)
    dam_break(args)
    parabolic_cap(args)
    print("wrote", os.path.join(args.out, "dam_break.png"), "and", os.path.join(args.out, "parabolic_cap.png"))


if __name__ == "__main__":
    main()
