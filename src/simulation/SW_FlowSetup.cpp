// Set-up of a run on the cells of its mesh: the mass per particle and its correction,
// resistance areas, wall marks, entrainable snow and release depths, from the areas and
// walls the caller gives.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "AK_NumberText.h"
#include "SW_FieldMath.h"
#include "SW_Flow.h"

namespace {

template <class T>
void Fill(AK_Array<T>& a, int32_t n, const T& value)
{
  a.Reserve(n);
  a.SetCount(n);
  for (T& x : a) x = value;
}

AK_Vec3 UnitNormal(const SW_MeshCore& mesh, int32_t c)
{
  const AK_Vec3 a = mesh.CellAreaVector(c);
  return a * (1.0 / a.Length());
}

// An area's enthalpy as its attribute text carries it.
float EnthalpyThroughText(double value)
{
  return static_cast<float>(AK_ThroughText(value, 15));
}

// A release depth the particles can carry: a finite number, not negative.
bool UsableDepth(double d) { return std::isfinite(d) && d >= 0; }

// The last of the areas whose polygon contains (x, y), or -1.
template <class Area>
int32_t LastContaining(const AK_Array<Area*>& areas, const AK_Vec3& x)
{
  for (int32_t k = areas.Size() - 1; k >= 0; --k)
    if (areas[k]->Contains(x.x, x.y)) return k;
  return -1;
}

// More particles than the particle set makes: the generation would end with none.
bool TooManyParticles(double count, AK_String& error)
{
  if (!(count > static_cast<double>(SW_MaxParticles))) return false;
  error = AK_String::Format("%g particles are too many, at most %lld can be made", count,
                            static_cast<long long>(SW_MaxParticles));
  return true;
}

}  // namespace

int SW_MassMethodIndex(const char* text)
{
  for (int i = 0; i < 4; ++i)
    if (std::strcmp(text, SW_MassMethodNames[i]) == 0) return i;
  return SW_MassDirect;
}

int SW_ChooseParticleMass(const char* methodText, double M, int32_t n, double dx, double density,
                          SW_ParticleBudget& b, AK_String& error)
{
  if (!(density > 0)) {
    error = AK_String::Format("density %g is not positive: no particles", density);
    return 0;
  }
  if (n < 1) n = 1;
  const int method = SW_MassMethodIndex(methodText);
  const double cellMass = dx * density * dx;  // mass of unit depth on one cell of side dx
  if (method == SW_MassDeltaDepth) {
    b.massPerParticle = cellMass * b.deltaDepth;
  } else if (method == SW_MassPerCell) {
    b.massPerParticle = (M / n) / b.perCell;
  } else if (method == SW_MassParticleCount) {
    if (b.count <= 0) {
      error = AK_String::Format("number of particles %d is not positive", b.count);
      return 0;
    }
    b.massPerParticle = M / b.count;
    b.perCell = b.massPerParticle > 0 ? (M / b.massPerParticle) / n : 0;
    b.deltaDepth = b.massPerParticle / cellMass;
    if (M == 0) return 1;  // nothing released: no particles, nothing to refuse
  }
  if (!(b.massPerParticle > 0) || !std::isfinite(b.massPerParticle)) {
    error = AK_String::Format("mass per particle %g is not positive: no particles",
                              b.massPerParticle);
    return 0;
  }
  if (method != SW_MassParticleCount) {
    const double count = M / b.massPerParticle;
    if (method != SW_MassPerCell) b.perCell = count / n;
    if (method != SW_MassDeltaDepth) b.deltaDepth = b.massPerParticle / cellMass;
    if (TooManyParticles(count, error)) return 0;
    b.count = static_cast<int32_t>(count);
  } else if (TooManyParticles(b.count, error)) {
    return 0;
  }
  return 1;
}

double SW_CorrectParticleMasses(AK_Array<float>& m, double M)
{
  const double total = SW_TotalMass(m);
  if (m.IsEmpty() || !(total > 0)) return 0;
  const double f = M / total;
  for (int32_t i = m.Size() - 1; i >= 0; --i) m[i] = static_cast<float>(m[i] * f);
  return f;
}

double SW_SnowEnthalpy(double temperature)
{
  return temperature >= 0 ? temperature * 4187.0 / 333500.0 : temperature * 2050.0;
}

void SW_GlobalEntrainment(double z, double minZ, double weight, double temperature,
                          double gradient, float& mass, float& enthalpy)
{
  if (!(z > minZ)) return;
  mass = static_cast<float>(weight);
  enthalpy = static_cast<float>(SW_SnowEnthalpy((z - minZ) * gradient + temperature));
}

void SW_MarkCellsAndNeighbours(const SW_MeshCore& mesh, const AK_Array<int32_t>& cells,
                               int32_t mark, AK_Array<int32_t>& marks)
{
  for (int32_t c : cells) {
    marks[c] = mark;
    for (int k = 0; k < mesh.CornerCount(c); ++k) {
      const int32_t nb = mesh.Neighbour(c, k);
      if (nb >= 0) marks[nb] = mark;
    }
  }
}

void SW_MapResistanceAreas(const SW_MeshCore& mesh,
                           const AK_Array<const SW_FlowResistanceArea*>& areas, SW_FlowCells& cells)
{
  cells.resistances.SetCount(0);
  for (const SW_FlowResistanceArea* a : areas) cells.resistances.Append(a->Drag());
  Fill(cells.resistance, areas.IsEmpty() ? 0 : mesh.NumCells(), -1);
  for (int32_t c = 0; c < cells.resistance.Size(); ++c)
    cells.resistance[c] = LastContaining(areas, mesh.CellCentre(c));
}

int32_t SW_MarkWallCells(const SW_MeshCore& mesh, const AK_Array<const SW_FlowWall*>& walls,
                         SW_FlowCells& cells)
{
  cells.walls = walls;
  Fill(cells.wallMark, walls.IsEmpty() ? 0 : mesh.NumCells(), 0);
  AK_Array<int32_t> crossed;
  for (int32_t i = 0; i < walls.Size(); ++i) {
    crossed.SetCount(0);
    const AK_Array<AK_Vec3>& points = walls[i]->Path();
    for (int32_t j = 1; j < points.Size(); ++j)
      mesh.CellsAlongSegment(AK_Vec2{points[j - 1].x, points[j - 1].y},
                             AK_Vec2{points[j].x, points[j].y}, crossed, nullptr);
    SW_MarkCellsAndNeighbours(mesh, crossed, i + 1, cells.wallMark);
  }
  int32_t marked = 0;
  for (int32_t m : cells.wallMark) marked += m != 0;
  return marked;
}

void SW_InitEntrainment(const SW_MeshCore& mesh, const AK_Array<const SW_FlowSnowArea*>& areas,
                        const SW_MeshCore* raster, const SW_EntrainmentSettings& s,
                        SW_FlowFields& fields)
{
  const int32_t n = mesh.NumCells();
  Fill(fields.entrainmentMass, n, 0.f);
  Fill(fields.entrainmentEnthalpy, n, 0.f);
  int32_t hint = -1;
  for (int32_t c = 0; c < n; ++c) {
    const AK_Vec3 x = mesh.CellCentre(c);
    float& mass = fields.entrainmentMass[c];
    float& enthalpy = fields.entrainmentEnthalpy[c];
    SW_GlobalEntrainment(x.z, s.minZ, s.weight, s.temperature, s.gradient, mass, enthalpy);
    const int32_t k = LastContaining(areas, x);
    if (k >= 0) {
      mass = static_cast<float>(areas[k]->DepthAt(x, UnitNormal(mesh, c)) * areas[k]->Density());
      enthalpy = EnthalpyThroughText(areas[k]->Enthalpy());
    } else if (raster) {
      AK_Vec3 r = x;
      hint = raster->HeightAt(r, hint);
      if (hint >= 0 && r.z > 0) {
        mass = static_cast<float>(r.z * s.rasterDensity);
        enthalpy = static_cast<float>(SW_SnowEnthalpy((x.z - s.minZ) * s.gradient + s.temperature));
      }
    }
  }
}

int32_t SW_ComputeReleaseDepths(const SW_MeshCore& mesh, const AK_Array<const SW_FlowSnowArea*>& areas,
                                int32_t primary, const SW_MeshCore* raster, double rasterDensity,
                                double rasterTemperature, double density, double& M,
                                SW_ReleaseCells& out, SW_FlowFields& fields, AK_String& error)
{
  const int32_t n = mesh.NumCells();
  if (areas.Size() - primary > 255) {
    error = AK_String::Format("%d secondary release areas: at most 255 can be told apart",
                              areas.Size() - primary);
    return -1;
  }
  Fill(out.depth, n, 0.f);
  Fill(out.enthalpy, n, -20500.f);
  Fill(out.marks, areas.Size() > primary ? n : 0, uint8_t(0));
  Fill(out.areaMass, areas.Size(), 0.0);
  out.secondaryCells = 0;
  int32_t releaseCells = 0, hint = -1;
  for (int32_t c = 0; c < n; ++c) {
    const AK_Vec3 x = mesh.CellCentre(c);
    const double cellArea = mesh.CellAreaVector(c).Length();
    const int32_t k = LastContaining(areas, x);
    if (k >= 0) {
      const double d = areas[k]->DepthAt(x, UnitNormal(mesh, c));
      out.depth[c] = static_cast<float>(d * areas[k]->Density() / density);
      if (!UsableDepth(out.depth[c])) {
        const char* id = areas[k]->Name();
        error = UsableDepth(d)
                    ? AK_String::Format("release area %s: its depth %g m at its density %g is %g m "
                                        "at the simulation's density %g",
                                        id, d, areas[k]->Density(), double(out.depth[c]), density)
                    : AK_String::Format("release area %s has the depth %g m at %g %g", id, d, x.x, x.y);
        return -1;
      }
      out.areaMass[k] += out.depth[c] * density * cellArea;
      out.enthalpy[c] = EnthalpyThroughText(areas[k]->Enthalpy());
      if (k >= primary) {
        out.marks[c] = static_cast<uint8_t>(k - primary + 1);
        ++out.secondaryCells;
      }
    } else if (raster) {
      AK_Vec3 r = x;
      hint = raster->HeightAt(r, hint);
      if (hint >= 0 && r.z >= 0) {
        out.depth[c] = static_cast<float>(r.z * rasterDensity / density);
        if (!UsableDepth(out.depth[c])) {
          error = AK_String::Format("the release raster's depth %g m at %g %g is %g m at the simulation's density",
                                    r.z, x.x, x.y, double(out.depth[c]));
          return -1;
        }
        out.enthalpy[c] = static_cast<float>(rasterTemperature * 2050.0);
        M += out.depth[c] * density * cellArea;
      }
    }
    if (out.depth[c] > 0) {
      ++releaseCells;
      if (c < fields.entrainmentMass.Size()) fields.entrainmentMass[c] = 0;
    }
  }
  return releaseCells;
}
