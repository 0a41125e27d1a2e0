// tri3d: runs the operations of the 3-D triangulation library on surface files.
//
//   tri3d COMMAND ARGUMENTS...
//
// Surfaces are read from and written to the outside mesh generator's files: a name ending
// in ".tbs" holds triangles only, any other name triangles with patch numbers ("tbp").
// Results go to standard output, the library's progress messages too. Exit status: 0 done,
// 1 a file could not be read or written, was no finite surface, or a mesh of that many
// points could not be made; 2 wrong arguments.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "AK_Triangulation.h"
#include "DelaunayTetMesh.h"
#include "SW_MeshFiles.h"

namespace {

constexpr int kUsage = 2;

bool ParseNumber(const char* text, double& value)
{
  if (AK_ParseDouble(std::string_view(text), value)) return true;
  std::fprintf(stderr, "tri3d: not a number: %s\n", text);
  return false;
}

// Reads the points "x y z" that follow the file name.
bool ParsePoints(char** args, int n, AK_Array<AK_Vec3>& points)
{
  if (n % 3 != 0) {
    std::fprintf(stderr, "tri3d: points take three coordinates each\n");
    return false;
  }
  for (int i = 0; i < n; i += 3) {
    AK_Vec3 p;
    if (!ParseNumber(args[i], p.x) || !ParseNumber(args[i + 1], p.y) ||
        !ParseNumber(args[i + 2], p.z))
      return false;
    points.Append(p);
  }
  return true;
}

// True when the surface's measures are numbers: coordinates near the largest doubles have
// squares and cubes beyond them.
bool MeasuresAreFinite(const AK_Triangulation& surface, const char* path)
{
  const AK_Vec3 c = surface.CenterOfGravity();
  double inertia[9];
  surface.InertiaTensor(inertia, c);
  bool finite = std::isfinite(surface.Volume()) && std::isfinite(surface.Area()) && std::isfinite(c.x) &&
                std::isfinite(c.y) && std::isfinite(c.z);
  for (double v : inertia) finite = finite && std::isfinite(v);
  if (!finite) std::fprintf(stderr, "tri3d: the measures of %s are no finite numbers\n", path);
  return finite;
}

int Info(char** args, int)
{
  AK_Triangulation surface;
  if (!surface.ReadDurnixFile(args[0])) return 1;
  if (!MeasuresAreFinite(surface, args[0])) return 1;
  surface.PrintGeoInfo();
  return 0;
}

int Convert(char** args, int)
{
  AK_Triangulation surface;
  if (!surface.ReadDurnixFile(args[0])) return 1;
  return surface.WriteDurnixFile(args[1]) ? 0 : 1;
}

int Patches(char** args, int n)
{
  double cosLimit;
  if (!ParseNumber(args[1], cosLimit)) return kUsage;
  AK_Triangulation surface;
  if (!surface.ReadDurnixFile(args[0])) return 1;
  surface.ComputePatches(cosLimit);
  surface.ComputeSubPatches(cosLimit);
  std::printf("patches: %d\nsub-patches: %d\n", surface._nPatches, surface._nSubPatches);
  return n > 2 && !surface.WriteDurnixFile(args[2]) ? 1 : 0;
}

int Inside(char** args, int n)
{
  AK_Array<AK_Vec3> points;
  if (!ParsePoints(args + 1, n - 1, points)) return kUsage;
  AK_Triangulation surface;
  if (!surface.ReadDurnixFile(args[0])) return 1;
  for (const AK_Vec3& p : points)
    std::printf("%.15g %.15g %.15g: %s\n", p.x, p.y, p.z, surface.IsInside(p) ? "inside" : "outside");
  return 0;
}

int Closest(char** args, int n)
{
  AK_Array<AK_Vec3> points;
  if (!ParsePoints(args + 1, n - 1, points)) return kUsage;
  AK_Triangulation surface;
  if (!surface.ReadDurnixFile(args[0])) return 1;
  if (surface.NumTriangles() == 0) {
    std::printf("the surface has no triangles\n");
    return 0;
  }
  for (const AK_Vec3& p : points) {
    AK_Vec3 normal;
    AK_Vec3 q = surface.ClosestPoint(p, &normal);
    std::printf("%.15g %.15g %.15g: closest point %.15g %.15g %.15g, distance %.15g, "
                "triangle %d, normal %.15g %.15g %.15g\n",
                p.x, p.y, p.z, q.x, q.y, q.z, (q - p).Length(), surface.ClosestTriangle(p) + 1,
                normal.x, normal.y, normal.z);
  }
  return 0;
}

// A point count of the tetrahedral drivers: a whole number from 0 to max.
bool ParseCount(const char* text, int64_t max, int32_t& n)
{
  double v;
  if (!AK_ParseDouble(std::string_view(text), v) || !(v >= 0 && v <= double(max)) ||
      v != static_cast<double>(static_cast<int64_t>(v))) {
    std::fprintf(stderr, "tri3d: N must be a whole number from 0 to %lld: %s\n",
                 static_cast<long long>(max), text);
    return false;
  }
  n = static_cast<int32_t>(v);
  return true;
}

int Random(char** args, int)
{
  int32_t n;
  if (!ParseCount(args[0], 300000000, n)) return kUsage;
  return DelaunayTetMesh::RandomTest(n) ? 0 : 1;
}

int GridLayer(char** args, int)
{
  int32_t n;
  if (!ParseCount(args[0], 669, n)) return kUsage;  // n^3 points
  return DelaunayTetMesh::GridLayerTest(n) ? 0 : 1;
}

struct Command {
  const char* name;
  const char* arguments;
  int minArgs, maxArgs;  // -1: any number more
  int (*run)(char** args, int n);
  const char* help;
};

// One line per sub-command.
const Command kCommands[] = {
    {"info", "FILE", 1, 1, Info, "print the geometry report of a surface"},
    {"convert", "IN OUT", 2, 2, Convert, "read a surface and write it (the kind by OUT's name)"},
    {"patches", "FILE COS [OUT]", 2, 3, Patches,
     "compute patches and sub-patches bending less than the cosine COS; write them to OUT"},
    {"inside", "FILE X Y Z...", 4, -1, Inside, "tell whether each point lies inside the surface"},
    {"closest", "FILE X Y Z...", 4, -1, Closest,
     "the nearest surface point, its distance, triangle (from 1) and normal for each point"},
    {"random", "N", 1, 1, Random, "Delaunay mesh of N random points: time, counts, checks"},
    {"gridlayer", "N", 1, 1, GridLayer, "Delaunay mesh of an N x N x N grid, layer by layer"},
};

void Usage(std::FILE* out)
{
  std::fprintf(out, "usage: tri3d COMMAND ARGUMENTS...\n");
  for (const Command& c : kCommands)
    std::fprintf(out, "  %-8s %-16s %s\n", c.name, c.arguments, c.help);
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2) {
    Usage(stderr);
    return kUsage;
  }
  if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    Usage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    const int n = argc - 2;
    if (n < c.minArgs || (c.maxArgs >= 0 && n > c.maxArgs)) {
      std::fprintf(stderr, "usage: tri3d %s %s\n", c.name, c.arguments);
      return kUsage;
    }
    return c.run(argv + 2, n);
  }
  std::fprintf(stderr, "tri3d: unknown command '%s'\n", argv[1]);
  Usage(stderr);
  return kUsage;
}
