#include "SW_Polygon.h"

#include <cmath>

#include "SW_Mesh.h"
#include "SW_PolylineGeometry.h"

SW_Polygon::SW_Polygon(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  _closed = 1;
  RunClassDefaults();
}

void SW_Polygon::DeclareAttributes(AK_AttributeTableOf<SW_Polygon>& t)
{
  using P = SW_Polygon;
  t.Answer("ProjectedArea", [](P& p) { return AK_FormatDouble(std::fabs(p.ProjectedArea())); });
  t.Answer("TrueArea", [](P& p) { return AK_FormatDouble(std::fabs(p._trueArea)); });
  t.Answer("MeanInclination", [](P& p) { return AK_FormatDouble(p.MeanInclination()); });
  t.Command("UpdateTrueArea", &P::UpdateTrueArea);
}

int SW_Polygon::Contains(double x, double y) const
{
  return SW_PolygonContains(Points(), BoxMin(), BoxMax(), x, y);
}

double SW_Polygon::ProjectedArea() const { return SW_ProjectedArea(Points()); }

double SW_Polygon::AreaFactorOnMesh()
{
  SW_Mesh* mesh = Points().Count() > 0 ? BaseMesh() : nullptr;
  return mesh ? SW_AreaFactorOnMesh(Points(), BoxMin(), BoxMax(), mesh->Core()) : 1.0;
}

double SW_Polygon::CornerCosine(int32_t i) const { return SW_CornerCosine(Points(), i); }

void SW_Polygon::UpdateTrueArea()
{
  _areaFactor = AreaFactorOnMesh();
  _trueArea = ProjectedArea() / (_areaFactor + 1e-30);
}

double SW_Polygon::MeanInclination() const
{
  // Rounding can take the factor of a level area a hair above 1.
  return std::acos(std::fmax(-1.0, std::fmin(1.0, _areaFactor))) / std::acos(-1.0) * 180;
}

void SW_Polygon::CopyStateOf(SW_Polygon& source)
{
  AK_Array<AK_String> leaveOut;
  leaveOut.Append(AK_String("Id"));
  AssignAttributesOf(&source, leaveOut);
  AssignPolygon(source);
}

void SW_Polygon::AssignPolygon(const SW_Polygon& other)
{
  Line() = other.Line();
  _closed = other._closed;
  _selectedVertex = other._selectedVertex;
  SetBaseMeshName(other.BaseMeshName());
  UpdateBoundingBox();
  _trueArea = other._trueArea;
  _areaFactor = other._areaFactor;
}
