#include "SW_PsaMeshes.h"

#include <cmath>
#include <cstdint>

#include "SW_MeshContourPolygon.h"

namespace {

// A count from a real number: add 0.5 and truncate; 0 for what is no count (not finite,
// negative, or beyond 32 bits).
int32_t RoundCount(double v)
{
  return v >= 0 && v < INT32_MAX ? static_cast<int32_t>(v + 0.5) : 0;
}

}  // namespace

SW_PsaMeshes::SW_PsaMeshes(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  SetVariable("$vertical", "0");
  RunClassDefaults();
}

void SW_PsaMeshes::DeclareAttributes(AK_AttributeTableOf<SW_PsaMeshes>& t)
{
  using C = SW_PsaMeshes;
  t.Text("BaseMesh", &C::_baseMesh).Path("DHM");
  t.Text("ContourPolygon", &C::_contourPolygon).Path("Polygon");
  t.Options("BaseMeshOptions", [](C& c) {
    AK_String list;
    c.GetRoot()->ListObjectsOfType(list, "DHM", &c, "_simulation");
    return list;
  });
  t.Options("PolygonOptions", [](C& c) {
    AK_String list;
    c.ListObjectsOfType(list, "Polygon", &c, nullptr);
    return list;
  });
  t.Double("Dx", &C::_dx);
  t.Double("Dy", &C::_dy);
  t.Double("Dz", &C::_dz);
  t.Double("Height", &C::_height);
  t.Double("SmoothingFactor", &C::_smoothingFactor);
  t.Double("GridExpansionLH", &C::_gridExpansionLH);
  t.Double("GridExpansionSN", &C::_gridExpansionSN);
  t.Int("ParallelVertLines", &C::_parallelVertLines);
  auto count = [](int32_t C::*member) {
    return [member](C& c) {
      c.ComputeCellCounts();
      return AK_String(c.*member);
    };
  };
  t.Answer("CellsInRunDir", count(&C::_cellsInRunDir));
  t.Answer("CellsNormalToRunDir", count(&C::_cellsNormalToRunDir));
  t.Answer("CellsInVertDir", count(&C::_cellsInVertDir));
  t.Answer("NumberOfCells", [](C& c) {
    c.ComputeCellCounts();
    return AK_String(c._cellsInRunDir * c._cellsNormalToRunDir * c._cellsInVertDir);
  });
  t.Vis("CreationVisibility", [](C& c) {
    const bool ready = !c._baseMesh.IsEmpty() && !c._contourPolygon.IsEmpty() &&
                       c.FindObject(c._baseMesh) && c.FindObject(c._contourPolygon);
    return ready ? "w" : "r";
  });
  t.Command("CreateContourPolygon", [](C& c, const char* id) { c.AddComponent(new SW_Polygon(id, &c)); });
  t.Command("CreateRastered", [](C&, const char*) {});
  t.Command("Clone", &C::Clone);
}

AK_Object* SW_PsaMeshes::CreateComponent(const char*, const char*) { return nullptr; }

SW_Polygon* SW_PsaMeshes::ContourPolygon()
{
  if (_contourPolygon.IsEmpty()) return nullptr;
  return dynamic_cast<SW_Polygon*>(FindObject(_contourPolygon));
}

void SW_PsaMeshes::ComputeCellCounts()
{
  _cellsInRunDir = _cellsNormalToRunDir = _cellsInVertDir = 0;
  SW_Polygon* polygon = ContourPolygon();
  if (!polygon) return;
  for (double* d : {&_dx, &_dy, &_dz})
    if (*d < 1e-7) *d = 1e-7;
  const int32_t n = RoundCount(std::fabs(polygon->ProjectedArea()) / (_dx * _dx));
  _cellsInRunDir = RoundCount(std::sqrt(static_cast<double>(n)));
  // An area smaller than half a cell has no cells to divide among the rows.
  _cellsNormalToRunDir = _cellsInRunDir > 0 ? n / _cellsInRunDir : 0;
  // Layers growing by the factor from Dz up to Height; without growth, Height / Dz layers.
  const double g = _gridExpansionLH, ratio = _height / _dz;
  const double layers = g == 1.0 ? ratio : std::log(ratio * (g - 1) + 1) / std::log(g);
  _cellsInVertDir = RoundCount(layers + 1);
}

void SW_PsaMeshes::Clone(const char* id)
{
  AK_Object* original = GetComponent(id ? id : "");
  if (!original) return;
  SW_Polygon* copy = nullptr;
  if (auto* contour = dynamic_cast<SW_MeshContourPolygon*>(original)) {
    auto* c = new SW_MeshContourPolygon("", this);
    c->CopyContourStateOf(*contour);
    copy = c;
  } else if (auto* polygon = dynamic_cast<SW_Polygon*>(original)) {
    copy = new SW_Polygon("", this);
    copy->CopyStateOf(*polygon);
  }
  if (!copy) return;
  copy->Set("Id", AK_String(id) + "_cloned");
  AddComponent(copy);
}
