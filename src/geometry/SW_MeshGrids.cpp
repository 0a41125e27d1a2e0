// The grid generators of the mesh object and the honeycomb cell builder.
#include <cmath>
#include <cstdio>

#include "SW_MeshEdit.h"
#include "SW_MeshFiles.h"

void SW_MeshMessage(const char* text, SW_MeshMessageAt at)
{
  char location[32];
  std::snprintf(location, sizeof location, "SW_Mesh:%d", static_cast<int>(at));
  AK_MessageHook(text, location);
}

bool SW_GridSizeIsSane(double nx, double ny)
{
  return nx >= 1 && ny >= 1 && (nx + 1) * (ny + 1) <= static_cast<double>(SW_MaxGridPoints);
}

void SW_SetHoneycombCells(SW_MeshCore& mesh)
{
  const int32_t nx = mesh._nx, ny = mesh._ny;
  mesh._lcv.Reserve(2 * nx * ny);
  mesh._lcv.SetCount(2 * nx * ny);
  for (int32_t i = 0; i < nx; ++i)
    for (int32_t j = 0; j < ny; ++j) {
      const int32_t a = (ny + 1) * i + j, b = (ny + 1) * (i + 1) + j, m = 2 * (ny * i + j);
      // Odd rows are shifted half a cell toward smaller x, so the diagonal turns.
      if (j % 2) {
        mesh._lcv[m] = AK_Index4(a, b, a + 1, -1);
        mesh._lcv[m + 1] = AK_Index4(b + 1, a + 1, b, -1);
      } else {
        mesh._lcv[m] = AK_Index4(a, b, b + 1, -1);
        mesh._lcv[m + 1] = AK_Index4(b + 1, a + 1, a, -1);
      }
    }
  mesh._cartesian = 0;
  mesh._honeycomb = 1;
}

namespace {

// Vertex (i, j) at index (ny + 1) * i + j from position(i, j).
template <class Position>
void SetGridVertices(SW_MeshCore& mesh, Position position)
{
  const int32_t nx = mesh._nx, ny = mesh._ny;
  mesh.SetNumVertices((nx + 1) * (ny + 1));
  for (int32_t i = 0; i <= nx; ++i)
    for (int32_t j = 0; j <= ny; ++j) mesh._x[(ny + 1) * i + j] = position(i, j);
}

bool RefuseGrid(SW_MeshCore& mesh, double nx, double ny, AK_String& error)
{
  mesh.ClearGeometry();
  error = AK_String::Format("cannot make a grid of %.15g x %.15g cells", std::trunc(nx), std::trunc(ny));
  AK_MESSAGE(AK_String("ERROR:") + error);
  return false;
}

}  // namespace

bool SW_SetToPlane(SW_MeshCore& mesh, int32_t nx, int32_t ny, double length, double width,
                   double inclination, AK_String& error)
{
  mesh.ClearGeometry();
  SW_MeshMessage(AK_String::Format("setting to plane mesh of dimension %d x %d", nx, ny), SW_MeshMessageAt::PlaneMesh);
  if (!SW_GridSizeIsSane(nx, ny)) return RefuseGrid(mesh, nx, ny, error);
  // A plane without positive extent has clockwise or empty cells, in which no point is found.
  if (!(length > 0 && length < HUGE_VAL) || !(width > 0 && width < HUGE_VAL)) {
    error = AK_String::Format("cannot make a plane of length %.15g and width %.15g: both must be positive", length, width);
    AK_MESSAGE(AK_String("ERROR:") + error);
    return false;
  }
  mesh._nx = nx;
  mesh._ny = ny;
  mesh._xll = AK_Vec2{0, 0};
  mesh._upperRight = AK_Vec2{length, width};
  SetGridVertices(mesh, [&](int32_t i, int32_t j) {
    const double x = i * length / nx, y = j * width / ny;
    // The profile's offset is squared in single precision (d rounded to float first).
    const float d = static_cast<float>(length * 0.5 - x);
    const double root = static_cast<double>(inclination * inclination) - static_cast<double>(d * d);
    return AK_Vec3(x, y, inclination - std::sqrt(root > 0 ? root : 0.0));
  });
  SW_SetGridCells(mesh);
  // The plane's cells are Length / Nx by Width / Ny: a Cartesian grid whose rows are as high
  // as its cells are wide only when they are square (up to rounding).
  const double cx = length / nx, cy = width / ny;
  mesh._dx = cx;
  mesh._rowHeight = std::fabs(cx - cy) <= 1e-12 * cx ? 0 : cy;
  mesh.ComputeConnectivity();
  mesh.ComputeVertexNormals();
  return true;
}

bool SW_SetToCartesianGrid(SW_MeshCore& mesh, double dx, AK_String& error)
{
  mesh.ClearGeometry();
  const AK_Vec2 lo = mesh._xll, hi = mesh._upperRight;
  const double qx = (hi.x - lo.x) / dx, qy = (hi.y - lo.y) / dx;
  if (!(dx > 0) || !SW_GridSizeIsSane(qx, qy)) return RefuseGrid(mesh, qx, qy, error);
  mesh._nx = static_cast<int32_t>(qx);
  mesh._ny = static_cast<int32_t>(qy);
  mesh._dx = dx;
  SetGridVertices(mesh, [&](int32_t i, int32_t j) { return AK_Vec3(i * dx + lo.x, j * dx + lo.y, 0); });
  SW_SetGridCells(mesh);
  mesh.ComputeConnectivity();
  mesh.ComputeVertexNormals();
  return true;
}

bool SW_SetToHoneyCombGrid(SW_MeshCore& mesh, double dx, AK_String& error)
{
  mesh.ClearGeometry();
  const AK_Vec2 lo = mesh._xll, hi = mesh._upperRight;
  const double h = std::cos(std::acos(-1.0) * 30 / 180) * dx;
  const double qx = (hi.x - lo.x) / dx + 1.499, qy = (hi.y - lo.y) / h + 0.999;
  if (!(dx > 0) || !SW_GridSizeIsSane(qx, qy)) return RefuseGrid(mesh, qx, qy, error);
  mesh._nx = static_cast<int32_t>(qx);
  mesh._ny = static_cast<int32_t>(qy);
  mesh._dx = dx;
  SetGridVertices(mesh, [&](int32_t i, int32_t j) {
    return AK_Vec3(i * dx - (j % 2) * 0.5 * dx + lo.x, j * h + lo.y, 0);
  });
  mesh._rowHeight = h;
  SW_SetHoneycombCells(mesh);
  mesh.ComputeConnectivity();
  mesh.ComputeVertexNormals();
  return true;
}
