// Whole runs of the torvu program on terrains written here as ESRI ASCII grids, with readers
// of their results of their own (the time-step files, the exported grids), and the analytic
// cases that the end-to-end tests check and the benchmarks time at larger sizes: the dam
// break on an incline (Mangeney et al. 2000) and the spreading parabolic cap of Savage-Hutter
// type (Hutter et al. 1993). Header only; uses TestSupport.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace flowruns {

inline const double kPi = std::acos(-1.0);
inline const double kG = 9.81;
inline double Rad(double degrees) { return degrees * kPi / 180; }

// An ESRI ASCII grid of z(x, y) on nx * ny nodes `cell` apart from the south-western (x0, y0).
inline std::string AsciiGrid(double x0, double y0, double cell, int nx, int ny,
                             const std::function<double(double, double)>& z)
{
  char line[256];
  std::snprintf(line, sizeof line, "ncols %d\nnrows %d\nxllcenter %g\nyllcenter %g\ncellsize %g\nNODATA_value -9999\n",
                nx, ny, x0, y0, cell);
  std::string text = line;
  for (int r = ny - 1; r >= 0; --r) {
    for (int c = 0; c < nx; ++c) {
      std::snprintf(line, sizeof line, c ? " %.4f" : "%.4f", z(x0 + c * cell, y0 + r * cell));
      text += line;
    }
    text += "\n";
  }
  return text;
}

// A grid as the program exports it; row 0 is the southern one.
struct Raster {
  double x0 = 0, y0 = 0, cell = 1;
  int nx = 0, ny = 0;
  std::vector<double> values;
  double At(int c, int r) const { return values[static_cast<size_t>(r) * nx + c]; }
};

inline Raster ReadRaster(const std::string& path)
{
  Raster g;
  std::ifstream in(path);
  std::string key;
  double value = 0;
  for (int k = 0; k < 6 && in >> key >> value; ++k) {
    if (key == "ncols") g.nx = static_cast<int>(value);
    if (key == "nrows") g.ny = static_cast<int>(value);
    if (key == "xllcenter") g.x0 = value;
    if (key == "yllcenter") g.y0 = value;
    if (key == "cellsize") g.cell = value;
  }
  if (g.nx <= 0 || g.ny <= 0) return Raster();
  g.values.assign(static_cast<size_t>(g.nx) * g.ny, 0);
  for (int r = g.ny - 1; r >= 0; --r)
    for (int c = 0; c < g.nx; ++c) in >> g.values[static_cast<size_t>(r) * g.nx + c];
  return g;
}

struct Particle {
  double x, y, z, vx, vy, vz, m;
};

// The particles of a time-step file (none when it cannot be read), by a reader of the file
// format of its own: gzip, little-endian numbers, each item behind its tag; the positions are
// a point set (count, two grid flags, count again, then x y z per point), the velocities a
// vector field and the masses a scalar field of 32-bit floats.
inline std::vector<Particle> ReadTimeStep(const ScratchDir& dir, const std::string& file)
{
  const std::string reader = dir.Write("read_time_step.py",
      "import gzip, struct, sys\n"
      "b = gzip.open(sys.argv[1]).read()\n"
      "def after_tag(i):\n"
      "    n, = struct.unpack_from('<i', b, i)\n"
      "    return i + 4 + n\n"
      "def record(name):\n"
      "    return after_tag(after_tag(b.index(struct.pack('<i', len(name)) + name.encode())))\n"
      "i = record('particles:Position')\n"
      "n, = struct.unpack_from('<i', b, i + 12)\n"
      "x = struct.unpack_from('<%dd' % (3 * n), b, i + 16)\n"
      "i = record('particles:Velocity')\n"
      "v = struct.unpack_from('<%dd' % (3 * n), b, i + 4)\n"
      "i = record('particles:Mass')\n"
      "m = struct.unpack_from('<%df' % n, b, i + 4)\n"
      "print(n)\n"
      "for k in range(n):\n"
      "    print(*x[3 * k:3 * k + 3], *v[3 * k:3 * k + 3], m[k])\n");
  std::istringstream in(RunProcess("python3 " + ShellQuote(reader) + " " + ShellQuote(file)));
  int n = 0;
  in >> n;
  std::vector<Particle> particles(std::max(n, 0));
  for (Particle& p : particles) in >> p.x >> p.y >> p.z >> p.vx >> p.vy >> p.vz >> p.m;
  if (!in) particles.clear();
  return particles;
}

inline double TotalMass(const std::vector<Particle>& particles)
{
  double sum = 0;
  for (const Particle& p : particles) sum += p.m;
  return sum;
}

using Settings = std::vector<std::pair<std::string, std::string>>;

// One run: the terrain "ground.asc", whose grid is the simulation mesh itself, and the release
// either from the areas of "ground.rel" or from the depths of the grid "depth.asc" (on the
// same grid); the simulation "S" with the settings, run to its end, then the lines of `after`.
struct Case {
  double cell = 1;
  std::string terrain, areas, depths;
  Settings settings;
  std::vector<std::string> after;
};

inline const char kSimulation[] = "Project/Simulations/S";

struct Outcome {
  std::string run;      // the simulation's own directory, where its time-step files are
  int status = -1;      // the program's exit code
  std::string log;      // what it printed
  double seconds = 0;   // wall time of the whole program
};

inline Outcome RunCase(const ScratchDir& dir, const Case& run, const std::string& program, const std::string& attributes)
{
  const std::string sim = kSimulation;
  auto set = [](const std::string& path, const std::string& name, const std::string& value) {
    return "set(\"" + path + "\", \"" + name + "\", \"" + value + "\")\n";
  };
  char cell[32];
  std::snprintf(cell, sizeof cell, "%g", run.cell);
  dir.Write("ground.asc", run.terrain);
  std::string macro = set("Project/DHMs", "SimulationDefaultCellSize", cell) + set("Project/DHMs", "Import", "ground.asc");
  if (!run.areas.empty()) {
    dir.Write("ground.rel", run.areas);  // imported with the terrain
    // Laid onto the terrain, the area's mass is that of its depth, measured normal to the
    // slope, over its true area; an area never laid onto a mesh counts its projected area only.
    macro += set("Project/ReleaseAreas/ground_0001", "ProjectOnto", "../../DHMs/ground_simulation");
  }
  macro += set("", "SaveProjectAs", "project") + set("Project/Simulations", "CreateSimulation", "S");
  if (!run.areas.empty()) macro += set(sim + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea");
  if (!run.depths.empty()) {
    dir.Write("depth.asc", run.depths);
    macro += set("Project/DHMs", "Import", "depth.asc") + set(sim, "ReleaseDHM", "../../DHMs/depth_simulation") +
             set(sim, "ReleaseDHMDensity", "200");
  }
  for (const auto& [name, value] : run.settings) macro += set(sim, name, value);
  macro += set("Project", "SaveProject", "") + set(sim, "Run", "");
  for (const std::string& line : run.after) macro += line + "\n";
  dir.Write("run.macro", macro);
  Outcome out;
  const auto start = std::chrono::steady_clock::now();
  RunProcess(TorvuOffscreen(dir.Path(), program, attributes, "run.macro > torvu.log 2>&1 < /dev/null"), &out.status);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.log = ReadFile(dir / "torvu.log");
  out.run = dir / ("project/" + sim);
  return out;
}

// The pure Coulomb law with bed friction angle delta and isotropic pressure, as the analytic
// solutions assume.
inline Settings Coulomb(double delta)
{
  return {{"FrictionType", "Chezy + Mohr-Coulomb"},
          {"DynamicFrictionCoefficient", "0"},
          {"BedFrictionAngle", std::to_string(delta)},
          {"InternalFrictionAngle", "0"}};
}

// A plane falling along +x at theta degrees, through height 100 at x = 0, on nodes `cell`
// apart over [x0, x1] x [y0, y1].
inline std::string InclinedPlane(double theta, double cell, double x0, double x1, double y0, double y1)
{
  const double slope = std::tan(Rad(theta));
  return AsciiGrid(x0, y0, cell, static_cast<int>(std::lround((x1 - x0) / cell)) + 1,
                   static_cast<int>(std::lround((y1 - y0) / cell)) + 1, [slope](double x, double) { return 100 - slope * x; });
}

// ---- dam break ----------------------------------------------------------------------------------

// Depth of the dam break at slope distance s below the dam at time t: the release (depth h0
// above the dam for all s < 0) slides as a whole with the acceleration a = g cos(theta)
// (tan(theta) - tan(delta)) while a rarefaction wave thins it from s_tail = -c0 t + a t^2 / 2
// to the front s_front = 2 c0 t + a t^2 / 2, c0 = sqrt(g cos(theta) h0).
struct DamBreak {
  double theta = 22, delta = 21, h0 = 1, t = 5;
  double gc() const { return kG * std::cos(Rad(theta)); }
  double a() const { return gc() * (std::tan(Rad(theta)) - std::tan(Rad(delta))); }
  double c0() const { return std::sqrt(gc() * h0); }
  double Front() const { return 2 * c0() * t + a() * t * t / 2; }
  double Tail() const { return -c0() * t + a() * t * t / 2; }
  double Depth(double s) const
  {
    if (s < Tail()) return h0;
    if (s > Front()) return 0;
    const double r = 2 * c0() - s / t + a() * t / 2;
    return r * r / (9 * gc());
  }
  // Where the wave has thinned the flow to the fraction f of h0.
  double DepthReached(double f) const { return t * (2 * c0() + a() * t / 2 - 3 * std::sqrt(f * gc() * h0)); }

  // 135 m down the slope by 100 m across; the release 50 m long and 40 m wide above the dam at
  // x = 0, so that by 5 s neither its upper edge nor its sides reach the centre line ahead of
  // s = tail - 15 m. Output at the end only; the flow depth at the end is exported as
  // "depth_end.asc" on the grid of the terrain.
  Case Make(double cell, const Settings& extra) const
  {
    Case c;
    c.cell = cell;
    c.terrain = InclinedPlane(theta, cell, -90, 45, -50, 50);
    const double x = -50 * std::cos(Rad(theta));
    char rel[160];
    std::snprintf(rel, sizeof rel, "%g 200 1\n4\n%.4f -20\n0 -20\n0 20\n%.4f 20\n", h0, x, x);
    c.areas = rel;
    c.settings = Coulomb(delta);
    c.settings.insert(c.settings.end(), extra.begin(), extra.end());
    c.settings.insert(c.settings.end(), {{"EndTime", std::to_string(t)}, {"DeltaOut", std::to_string(t)}});
    char size[32];
    std::snprintf(size, sizeof size, "%g", cell);
    c.after = {std::string("set(\"") + kSimulation + "/FlowDepth\", \"ExportRasterSize\", \"" + size + "\")",
               std::string("set(\"") + kSimulation + "/FlowDepth\", \"ExportFieldRasterAscii\", \"depth_end.asc\")"};
    return c;
  }
};

struct DamBreakResult {
  size_t particles = 0;
  double startMass = 0, endMass = 0;
  double front = -1e30;       // farthest particle on the centre line (|y| < 3 m), slope distance from the dam
  double depthFront = -1e30;  // farthest point of the centre line at least 1 % as deep as the release
  double tail = -1e30;        // farthest point of the centre line still 90 % as deep as the release
  double l2 = 0, max = 0;  // depth errors along the centre line from tail - 15 m on, relative to h0
};

// The measures of a finished run; the depths along the centre line are the means over the
// rows |y| <= 3 m of the exported grid.
inline DamBreakResult Measure(const DamBreak& ana, const ScratchDir& dir, const std::string& run)
{
  DamBreakResult r;
  const double cosTheta = std::cos(Rad(ana.theta));
  char name[40];
  std::snprintf(name, sizeof name, "/at_%012.4f.TimeStep", ana.t);
  const std::vector<Particle> start = ReadTimeStep(dir, run + "/at_0000000.0000.TimeStep");
  const std::vector<Particle> end = ReadTimeStep(dir, run + name);
  r.particles = end.size();
  r.startMass = TotalMass(start);
  r.endMass = TotalMass(end);
  for (const Particle& p : end)
    if (std::fabs(p.y) < 3) r.front = std::max(r.front, p.x / cosTheta);
  const Raster depth = ReadRaster(dir / "depth_end.asc");
  double squares = 0;
  int n = 0;
  for (int c = 0; c < depth.nx; ++c) {
    double sum = 0;
    int rows = 0;
    for (int k = 0; k < depth.ny; ++k)
      if (std::fabs(depth.y0 + k * depth.cell) <= 3) sum += depth.At(c, k), ++rows;
    const double s = (depth.x0 + c * depth.cell) / cosTheta;
    if (s < ana.Tail() - 15 || rows == 0) continue;
    const double h = sum / rows, e = (h - ana.Depth(s)) / ana.h0;
    if (h >= 0.01 * ana.h0) r.depthFront = s;
    squares += e * e, ++n;
    r.max = std::max(r.max, std::fabs(e));
    if (h >= 0.9 * ana.h0) r.tail = s;
  }
  r.l2 = n ? std::sqrt(squares / n) : 1e30;
  return r;
}

// ---- parabolic cap -----------------------------------------------------------------------------

// A cap h = h0 (1 - r^2 / R0^2) released at rest on a plane: in a frame that slides with the
// acceleration a = g cos(theta) (tan(theta) - tan(delta)) it stays a paraboloid of radius
// R(t) = sqrt(R0^2 + 2 g cos(theta) h0 t^2), the similarity solution of the shallow flow with
// the friction along the slope. Its mass centre is at a t^2 / 2 with the speed a t; the second
// moments of a paraboloid are R^2 / 6 along each axis.
struct ParabolicCap {
  double theta = 35, delta = 25, h0 = 1, r0 = 10, t = 5;
  double gc() const { return kG * std::cos(Rad(theta)); }
  double a() const { return gc() * (std::tan(Rad(theta)) - std::tan(Rad(delta))); }
  double Centre() const { return a() * t * t / 2; }
  double Speed() const { return a() * t; }
  double Radius() const { return std::sqrt(r0 * r0 + 2 * gc() * h0 * t * t); }
  double Volume() const { return kPi / 2 * h0 * r0 * r0; }

  // The plane 110 m by 80 m and the depths normal to it on the same grid: a circle in the
  // slope's own coordinates around x = 0. `depthPerParticle` sets the particle count (0.05 m
  // gives about ten particles to a 1 m cell of the cap).
  Case Make(double cell, double depthPerParticle, const Settings& extra) const
  {
    Case c;
    c.cell = cell;
    c.terrain = InclinedPlane(theta, cell, -40, 70, -40, 40);
    const double cosTheta = std::cos(Rad(theta));
    const int nx = static_cast<int>(std::lround(110 / cell)) + 1, ny = static_cast<int>(std::lround(80 / cell)) + 1;
    c.depths = AsciiGrid(-40, -40, cell, nx, ny, [&](double x, double y) {
      const double s = x / cosTheta;
      return std::max(0.0, h0 * (1 - (s * s + y * y) / (r0 * r0)));
    });
    c.settings = Coulomb(delta);
    c.settings.insert(c.settings.end(), extra.begin(), extra.end());
    c.settings.insert(c.settings.end(), {{"DeltaDepthPerParticle", std::to_string(depthPerParticle)},
                                         {"EndTime", std::to_string(t)},
                                         {"DeltaOut", std::to_string(t)}});
    return c;
  }
};

struct CapResult {
  size_t particles = 0;
  double startMass = 0, endMass = 0;
  double centre = 0, offAxis = 0;  // mass centre: slope distance, and across the slope
  double speed = 0;                // mean speed down the slope
  double along = 0, across = 0;    // radii from the second moments
};

inline CapResult Measure(const ParabolicCap& ana, const ScratchDir& dir, const std::string& run)
{
  CapResult r;
  const double cosTheta = std::cos(Rad(ana.theta)), sinTheta = std::sin(Rad(ana.theta));
  char name[40];
  std::snprintf(name, sizeof name, "/at_%012.4f.TimeStep", ana.t);
  const std::vector<Particle> end = ReadTimeStep(dir, run + name);
  r.particles = end.size();
  r.startMass = TotalMass(ReadTimeStep(dir, run + "/at_0000000.0000.TimeStep"));
  r.endMass = TotalMass(end);
  if (end.empty()) return r;
  for (const Particle& p : end) {
    r.centre += p.m * p.x / cosTheta;
    r.offAxis += p.m * p.y;
    r.speed += p.m * (p.vx * cosTheta - p.vz * sinTheta);
  }
  r.centre /= r.endMass, r.offAxis /= r.endMass, r.speed /= r.endMass;
  double ss = 0, yy = 0;
  for (const Particle& p : end) {
    ss += p.m * (p.x / cosTheta - r.centre) * (p.x / cosTheta - r.centre);
    yy += p.m * (p.y - r.offAxis) * (p.y - r.offAxis);
  }
  r.along = std::sqrt(6 * ss / r.endMass);
  r.across = std::sqrt(6 * yy / r.endMass);
  return r;
}

}  // namespace flowruns
