// Whole avalanches run by the program and compared with what mechanics says they must do: the
// dam break of a granular mass on an incline with Coulomb friction (Mangeney et al. 2000), the
// spreading parabolic cap of Savage-Hutter type (Hutter et al. 1993), a flat pile that must not
// move, and a block that slides from a slope onto flat ground and stops near its energy line.
// Each terrain is a plane written here as an ESRI ASCII grid; the results are read from the
// time-step files by a reader of its own and from the exported flow-depth grid.
//
// The friction law is a pure Coulomb law ("Chezy + Mohr-Coulomb" without its velocity term)
// and the pressure is isotropic (no internal friction angle), as the analytic solutions assume.
// The bounds are the errors measured now with a margin: the model is fixed, and these tests
// catch a change of what it computes. A particle starts from rest only slowly (its friction is
// taken with a speed of at least 1e-6 m/s, so from rest its speed grows by about tan(slope) /
// tan(friction) per step): that is what makes the numerical fronts lag the analytic ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numeric>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace {

const double kPi = std::acos(-1.0);
const double kG = 9.81;
double Rad(double degrees) { return degrees * kPi / 180; }

// An ESRI ASCII grid of z(x, y) on nx * ny nodes `cell` apart from the south-western (x0, y0).
std::string AsciiGrid(double x0, double y0, double cell, int nx, int ny, const std::function<double(double, double)>& z)
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

Raster ReadRaster(const std::string& path)
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
  g.values.assign(static_cast<size_t>(g.nx) * g.ny, 0);
  for (int r = g.ny - 1; r >= 0; --r)
    for (int c = 0; c < g.nx; ++c) in >> g.values[static_cast<size_t>(r) * g.nx + c];
  return g;
}

struct Particle {
  double x, y, z, vx, vy, vz, m;
};

// The particles of a time-step file, read by a reader of the file format of its own: gzip,
// little-endian numbers, each item behind its tag; the positions are a point set
// (count, two grid flags, count again, then x y z per point), the velocities a vector field
// and the masses a scalar field of 32-bit floats.
std::vector<Particle> ReadTimeStep(const ScratchDir& dir, const std::string& file)
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
  EXPECT_TRUE(in) << file;
  return particles;
}

double TotalMass(const std::vector<Particle>& particles)
{
  double sum = 0;
  for (const Particle& p : particles) sum += p.m;
  return sum;
}

// One run: the terrain "ground.asc" on a 1 m grid, which is the simulation mesh itself, and the
// release either from the areas of "ground.rel" or from the depths of the grid "depth.asc"; the
// simulation "S" with the settings, run to its end, then the lines of `after`.
struct Case {
  std::string terrain, areas, depths;
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::string> after;
};

const char kSimulation[] = "Project/Simulations/S";

// Runs it in the directory; the simulation's own directory, where its time-step files are.
std::string RunCase(const ScratchDir& dir, const Case& run)
{
  dir.Write("ground.asc", run.terrain);
  const std::string sim = kSimulation;
  auto set = [](const std::string& path, const std::string& name, const std::string& value) {
    return "set(\"" + path + "\", \"" + name + "\", \"" + value + "\")\n";
  };
  std::string macro = set("Project/DHMs", "SimulationDefaultCellSize", "1") + set("Project/DHMs", "Import", "ground.asc");
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
  int status = -1;
  const std::string printed = RunProcess("cd " + ShellQuote(dir.Path()) + " && env -u TORVU_USER_ATTRIBUTES HOME=" +
                                         ShellQuote(dir.Path()) + " " + ShellQuote(TORVU_PROGRAM) + " -files " +
                                         ShellQuote(TORVU_ATTRIBUTES) + " -offscreen run.macro > torvu.log 2>&1 < /dev/null",
                                         &status);
  EXPECT_EQ(status, 0) << printed;
  const std::string log = ReadFile(dir / "torvu.log");
  EXPECT_EQ(log.find("rror"), std::string::npos) << log.substr(0, 4000);
  return dir / ("project/" + sim);
}

// The pure Coulomb law with bed friction angle delta and isotropic pressure.
std::vector<std::pair<std::string, std::string>> Coulomb(double delta)
{
  return {{"FrictionType", "Chezy + Mohr-Coulomb"},
          {"DynamicFrictionCoefficient", "0"},
          {"BedFrictionAngle", std::to_string(delta)},
          {"InternalFrictionAngle", "0"}};
}

// A plane falling along +x at theta degrees, through height 100 at x = 0.
std::string InclinedPlane(double theta, double x0, double y0, int nx, int ny)
{
  const double slope = std::tan(Rad(theta));
  return AsciiGrid(x0, y0, 1, nx, ny, [slope](double x, double) { return 100 - slope * x; });
}

// ---- dam break ----------------------------------------------------------------------------------

// Depth of the dam break at slope distance s below the dam at time t: the release (depth h0
// above the dam for all s < 0) slides as a whole with the acceleration a = g cos(theta)
// (tan(theta) - tan(delta)) while a rarefaction wave thins it from s_tail = -c0 t + a t^2 / 2
// to the front s_front = 2 c0 t + a t^2 / 2, c0 = sqrt(g cos(theta) h0).
struct DamBreak {
  double theta, delta, h0, t;
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
};

struct DamBreakBounds {
  const char* name;
  std::vector<std::pair<std::string, std::string>> extra;  // beside the Coulomb law
  double frontLow, frontHigh;  // farthest particle on the centre line, m down the slope from the dam
  double tailLow, tailHigh;    // where the flow is thinned to 90 % of the release depth
  double l2, max;              // depth errors along the centre line, relative to h0
};

class DamBreakOnAnIncline : public ::testing::TestWithParam<DamBreakBounds> {};

TEST_P(DamBreakOnAnIncline, FrontTailAndDepthProfileAtFiveSeconds)
{
  const DamBreakBounds& b = GetParam();
  const DamBreak ana{22, 21, 1, 5};
  const double cosTheta = std::cos(Rad(ana.theta));
  ScratchDir dir;
  Case run;
  // 135 m down the slope by 100 m across; the release 50 m long and 40 m wide above the dam at
  // x = 0, so that by 5 s neither its upper edge nor its sides reach the centre line ahead of
  // s = tail - 15 m.
  run.terrain = InclinedPlane(ana.theta, -90, -50, 136, 101);
  char rel[160];
  std::snprintf(rel, sizeof rel, "1 200 1\n4\n%.4f -20\n0 -20\n0 20\n%.4f 20\n", -50 * cosTheta, -50 * cosTheta);
  run.areas = rel;
  run.settings = Coulomb(ana.delta);
  run.settings.insert(run.settings.end(), b.extra.begin(), b.extra.end());
  run.settings.insert(run.settings.end(), {{"EndTime", "5"}, {"DeltaOut", "5"}});
  run.after = {"set(\"Project/Simulations/S/FlowDepth\", \"ExportRasterSize\", \"1\")",
               "set(\"Project/Simulations/S/FlowDepth\", \"ExportFieldRasterAscii\", \"depth5.asc\")"};
  const std::string sim = RunCase(dir, run);

  const std::vector<Particle> start = ReadTimeStep(dir, sim + "/at_0000000.0000.TimeStep");
  const std::vector<Particle> end = ReadTimeStep(dir, sim + "/at_0000005.0000.TimeStep");
  ASSERT_GT(start.size(), 3000u);
  EXPECT_NEAR(TotalMass(start), 200.0 * 50 * 40, 200.0 * 50 * 40 * 1e-5);
  EXPECT_NEAR(TotalMass(end), TotalMass(start), TotalMass(start) * 1e-6);

  double front = -1e30;
  for (const Particle& p : end)
    if (std::fabs(p.y) < 3) front = std::max(front, p.x / cosTheta);

  // The flow depth along the centre line, the mean over the grid rows |y| <= 3 m.
  const Raster depth = ReadRaster(dir / "depth5.asc");
  ASSERT_GT(depth.nx, 100);
  std::vector<std::pair<double, double>> profile;  // slope distance, depth
  for (int c = 0; c < depth.nx; ++c) {
    double sum = 0;
    int n = 0;
    for (int r = 0; r < depth.ny; ++r)
      if (std::fabs(depth.y0 + r * depth.cell) <= 3) sum += depth.At(c, r), ++n;
    const double s = (depth.x0 + c * depth.cell) / cosTheta;
    if (s >= ana.Tail() - 15) profile.emplace_back(s, sum / n);
  }
  double squares = 0, largest = 0, tail = -1e30;
  for (const auto& [s, h] : profile) {
    const double e = (h - ana.Depth(s)) / ana.h0;
    squares += e * e;
    largest = std::max(largest, std::fabs(e));
    if (h >= 0.9 * ana.h0) tail = s;
  }
  const double l2 = std::sqrt(squares / profile.size());
  std::printf("dam break %s: %zu particles, front %.2f m (analytic %.2f), 90%% depth at %.2f m (analytic %.2f), "
              "depth error L2 %.3f max %.3f\n",
              b.name, end.size(), front, ana.Front(), tail, ana.DepthReached(0.9), l2, largest);
  EXPECT_GT(front, b.frontLow);
  EXPECT_LT(front, b.frontHigh);
  EXPECT_LT(front, ana.Front());  // no particle outruns the wave
  EXPECT_GT(tail, b.tailLow);
  EXPECT_LT(tail, b.tailHigh);
  EXPECT_LT(l2, b.l2);
  EXPECT_LT(largest, b.max);
}

INSTANTIATE_TEST_SUITE_P(AnalyticRuns, DamBreakOnAnIncline,
                         // Measured: front 11.53 m, 90 % depth at -6.47 m, L2 0.081, max 0.197; with
                         // the speed averaged over the step front 21.26 m, -4.31 m, L2 0.123, max 0.272.
                         ::testing::Values(DamBreakBounds{"default speed", {}, 10, 13.5, -8.5, -4.5, 0.10, 0.25},
                                           DamBreakBounds{"speed averaged over the step",
                                                          {{"$compat", "v2017"}}, 19, 23.5, -6.5, -2.5, 0.15, 0.33}),
                         [](const auto& info) { return info.index ? std::string("AveragedSpeed") : std::string("DefaultSpeed"); });

// ---- parabolic cap -----------------------------------------------------------------------------

// A cap h = h0 (1 - r^2 / R0^2) released at rest on a plane: in a frame that slides with the
// acceleration a = g cos(theta) (tan(theta) - tan(delta)) it stays a paraboloid of radius
// R(t) = sqrt(R0^2 + 2 g cos(theta) h0 t^2), the similarity solution of the shallow flow with
// friction along the slope. Its mass centre is at a t^2 / 2 with the speed a t; the second
// moments of a paraboloid are R^2 / 6 along each axis.
struct CapBounds {
  const char* name;
  std::vector<std::pair<std::string, std::string>> extra;
  double centreLow, centreHigh;  // slope distance of the mass centre, m
  double speedLow, speedHigh;    // mean speed down the slope, m/s
  double alongLow, alongHigh;    // radius from the second moment along the slope, m
  double acrossLow, acrossHigh;  // and across it
};

class ParabolicCapOnASteepPlane : public ::testing::TestWithParam<CapBounds> {};

TEST_P(ParabolicCapOnASteepPlane, CentreSpeedAndSpreadAtFiveSeconds)
{
  const CapBounds& b = GetParam();
  const double theta = 35, delta = 25, h0 = 1, r0 = 10, t = 5;
  const double cosTheta = std::cos(Rad(theta)), gc = kG * cosTheta;
  const double a = gc * (std::tan(Rad(theta)) - std::tan(Rad(delta)));
  const double radius = std::sqrt(r0 * r0 + 2 * gc * h0 * t * t);
  ScratchDir dir;
  Case run;
  run.terrain = InclinedPlane(theta, -40, -40, 111, 81);
  // The depths normal to the slope, on the same grid: a circle in the slope's own coordinates.
  run.depths = AsciiGrid(-40, -40, 1, 111, 81, [&](double x, double y) {
    const double s = x / cosTheta;
    return std::max(0.0, h0 * (1 - (s * s + y * y) / (r0 * r0)));
  });
  run.settings = Coulomb(delta);
  run.settings.insert(run.settings.end(), b.extra.begin(), b.extra.end());
  // About ten particles to a cell of the cap.
  run.settings.insert(run.settings.end(), {{"DeltaDepthPerParticle", "0.05"}, {"EndTime", "5"}, {"DeltaOut", "5"}});
  const std::string sim = RunCase(dir, run);

  const std::vector<Particle> start = ReadTimeStep(dir, sim + "/at_0000000.0000.TimeStep");
  const std::vector<Particle> end = ReadTimeStep(dir, sim + "/at_0000005.0000.TimeStep");
  ASSERT_GT(start.size(), 2500u);
  const double volume = kPi / 2 * h0 * r0 * r0;
  EXPECT_NEAR(TotalMass(start), 200 * volume, 200 * volume * 0.005);  // the cap on 1 m cells
  EXPECT_NEAR(TotalMass(end), TotalMass(start), TotalMass(start) * 1e-6);

  const double mass = TotalMass(end);
  double s = 0, y = 0, u = 0;
  for (const Particle& p : end) {
    s += p.m * p.x / cosTheta;
    y += p.m * p.y;
    u += p.m * (p.vx * cosTheta - p.vz * std::sin(Rad(theta)));
  }
  s /= mass, y /= mass, u /= mass;
  double ss = 0, yy = 0;
  for (const Particle& p : end) {
    ss += p.m * (p.x / cosTheta - s) * (p.x / cosTheta - s);
    yy += p.m * (p.y - y) * (p.y - y);
  }
  const double along = std::sqrt(6 * ss / mass), across = std::sqrt(6 * yy / mass);
  std::printf("cap %s: %zu particles, centre %.2f m (analytic %.2f), speed %.2f m/s (analytic %.2f), "
              "radius along %.2f m across %.2f m (analytic %.2f), centre off the axis %.3f m\n",
              b.name, end.size(), s, a * t * t / 2, u, a * t, along, across, radius, y);
  EXPECT_GT(s, b.centreLow);
  EXPECT_LT(s, b.centreHigh);
  EXPECT_GT(u, b.speedLow);
  EXPECT_LT(u, b.speedHigh);
  EXPECT_GT(along, b.alongLow);
  EXPECT_LT(along, b.alongHigh);
  EXPECT_GT(across, b.acrossLow);
  EXPECT_LT(across, b.acrossHigh);
  EXPECT_LT(std::fabs(y), 0.2);  // symmetric across the slope
}

INSTANTIATE_TEST_SUITE_P(AnalyticRuns, ParabolicCapOnASteepPlane,
                         // tan 35 / tan 25 = 1.50: from rest the cap barely starts within 5 s
                         // unless the speed for the friction is averaged over the step.
                         // Measured: centre 2.95 m, speed 2.79 m/s, radii 15.52 m and 10.58 m; averaged
                         // 25.50 m, 9.97 m/s, 20.13 m and 14.24 m (analytic 23.49 m, 9.40 m/s, 22.40 m).
                         ::testing::Values(CapBounds{"default speed", {}, 1.5, 5, 1.8, 4, 14, 17.5, 9.8, 11.5},
                                           CapBounds{"speed averaged over the step", {{"$compat", "v2017"}},
                                                     23.5, 27.5, 9.4, 10.5, 19, 21.5, 13.2, 15.3}),
                         [](const auto& info) { return info.index ? std::string("AveragedSpeed") : std::string("DefaultSpeed"); });

// ---- flat pile and sliding block ---------------------------------------------------------------

// Displacements of the particles that exist at both times (a split appends its new particles).
std::vector<double> Displacements(const std::vector<Particle>& from, const std::vector<Particle>& to)
{
  std::vector<double> d;
  for (size_t k = 0; k < std::min(from.size(), to.size()); ++k)
    d.push_back(std::hypot(to[k].x - from[k].x, to[k].y - from[k].y, to[k].z - from[k].z));
  std::sort(d.begin(), d.end());
  return d;
}

double Quantile(const std::vector<double>& sorted, double q)
{
  return sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * sorted.size()))];
}

TEST(AnalyticRuns, FlatPileOnLevelGroundStaysWhereItIs)
{
  // A cone 0.5 m high and 10 m wide around: its surface slopes by 0.05, far below the default
  // bed friction of 16 degrees (0.29). The model's defaults otherwise, with many particles
  // (0.02 m of depth each) so that the depth they make is smooth.
  ScratchDir dir;
  Case run;
  run.terrain = AsciiGrid(-15, -15, 1, 31, 31, [](double, double) { return 100.0; });
  run.depths = AsciiGrid(-15, -15, 1, 31, 31, [](double x, double y) { return std::max(0.0, 0.5 - std::hypot(x, y) / 20); });
  run.settings = {{"DeltaDepthPerParticle", "0.02"}, {"EndTime", "10"}, {"DeltaOut", "10"}};
  const std::string sim = RunCase(dir, run);
  const std::vector<Particle> start = ReadTimeStep(dir, sim + "/at_0000000.0000.TimeStep");
  const std::vector<Particle> end = ReadTimeStep(dir, sim + "/at_0000010.0000.TimeStep");
  ASSERT_GT(start.size(), 2000u);
  EXPECT_NEAR(TotalMass(start), 200 * kPi * 100 * 0.5 / 3, 200 * kPi * 100 * 0.5 / 3 * 0.01);
  EXPECT_NEAR(TotalMass(end), TotalMass(start), TotalMass(start) * 1e-6);
  const std::vector<double> moved = Displacements(start, end);
  double fastest = 0;
  for (const Particle& p : end) fastest = std::max(fastest, std::hypot(p.vx, p.vy, p.vz));
  std::printf("flat pile: %zu particles (%zu at the end), displacement in 10 s median %.2g m, 90%% %.2g m, "
              "99%% %.2g m, largest %.2g m; fastest particle at 10 s %.3g m/s\n",
              start.size(), end.size(), Quantile(moved, 0.5), Quantile(moved, 0.9), Quantile(moved, 0.99),
              moved.empty() ? 0 : moved.back(), fastest);
  // Measured: median 2e-6 m, 90 % 1.4e-4 m, largest 0.17 m (a few particles where the depth
  // the particles make is rough), fastest 0.022 m/s.
  EXPECT_LT(Quantile(moved, 0.5), 1e-4);
  EXPECT_LT(Quantile(moved, 0.9), 1e-3);
  EXPECT_LT(moved.back(), 0.5);
  EXPECT_LT(fastest, 0.05);
}

TEST(AnalyticRuns, BlockSlidesOntoFlatGroundAndStopsShortOfItsEnergyLine)
{
  // A block 10 m by 10 m, 0.5 m deep, released on a 35-degree slope 40 to 50 m above its foot,
  // with Coulomb friction of 20 degrees (tan 35 / tan 20 = 1.92, so it starts from rest). A mass
  // that lost energy only to friction would stop where the line falling at tan(20 degrees)
  // from its start meets the ground; the turn at the foot costs more.
  const double theta = 35, delta = 20;
  ScratchDir dir;
  Case run;
  run.terrain = AsciiGrid(-60, -20, 1, 141, 41,
                          [&](double x, double) { return 100 - std::tan(Rad(theta)) * std::min(0.0, x); });
  run.areas = "0.5 200 1\n4\n-50 -5\n-40 -5\n-40 5\n-50 5\n";
  run.settings = Coulomb(delta);
  run.settings.insert(run.settings.end(), {{"DeltaDepthPerParticle", "0.05"}, {"EndTime", "20"}, {"DeltaOut", "5"}});
  const std::string sim = RunCase(dir, run);
  const std::vector<Particle> start = ReadTimeStep(dir, sim + "/at_0000000.0000.TimeStep");
  ASSERT_GT(start.size(), 1000u);
  const double mass = TotalMass(start);
  EXPECT_NEAR(mass, 200 * 0.5 * 100 / std::cos(Rad(theta)), mass * 1e-5);
  auto centre = [](const std::vector<Particle>& ps) {
    double x = 0, z = 0, m = 0;
    for (const Particle& p : ps) x += p.m * p.x, z += p.m * p.z, m += p.m;
    return std::make_pair(x / m, z / m);
  };
  const auto [x0, z0] = centre(start);
  const double energyLine = x0 + (z0 - 100) / std::tan(Rad(delta));
  std::vector<double> stops;
  for (const char* time : {"at_0000005.0000", "at_0000015.0000", "at_0000020.0000"}) {
    const std::vector<Particle> ps = ReadTimeStep(dir, sim + "/" + time + ".TimeStep");
    EXPECT_NEAR(TotalMass(ps), mass, mass * 1e-6) << time;
    double fastest = 0, front = -1e30;
    for (const Particle& p : ps) fastest = std::max(fastest, std::hypot(p.vx, p.vy, p.vz)), front = std::max(front, p.x);
    std::printf("block at %s: %zu particles, centre at x %.2f m, front %.2f m, fastest %.3g m/s\n", time, ps.size(),
                centre(ps).first, front, fastest);
    stops.push_back(centre(ps).first);
    if (time[7] != '0') {
      EXPECT_LT(fastest, 0.01) << time;  // at rest from 15 s on
    }
  }
  // Free sliding would have brought the centre 33.8 m down the slope by 5 s.
  const double slid = (stops[0] - x0) / std::cos(Rad(theta));
  const double ratio = (stops[2] - x0) / (energyLine - x0);
  std::printf("block: centre from x %.2f m (z %.2f m) slid %.2f m in 5 s (free sliding %.2f m), stopped at %.2f m; "
              "energy line %.2f m; run-out %.3f of the energy line's\n",
              x0, z0, slid, kG * (std::sin(Rad(theta)) - std::tan(Rad(delta)) * std::cos(Rad(theta))) * 12.5, stops[2],
              energyLine, ratio);
  // Measured: 11.33 m slid in 5 s (the start from rest is slow), run-out 0.827 of the energy line's.
  EXPECT_GT(slid, 9);
  EXPECT_LT(slid, 14);
  EXPECT_NEAR(stops[1], stops[2], 1e-3);
  EXPECT_GT(ratio, 0.78);
  EXPECT_LT(ratio, 0.87);
}

}  // namespace
