#include "SW_VectorField.h"

#include <cmath>

#include "AK_Colorbar.h"
#include "AK_CurrentObject.h"
#include "AK_Record.h"
#include "SW_FieldMath.h"
#include "SW_FieldSupport.h"
#include "SW_Mesh.h"
#include "SW_ScalarField.h"

SW_VectorField::SW_VectorField(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  SW_AddFieldColorbar(*this);
  if (AK_Colorbar* colorbar = SW_FieldColorbar(*this)) colorbar->HorizontalAlignment = "left";
  RunClassDefaults();
}

void SW_VectorField::DeclareAttributes(AK_AttributeTableOf<SW_VectorField>& t)
{
  using F = SW_VectorField;
  t.Answer("Label", [](F& f) { return f.Label(); });
  t.Command("SetLabel", [](F& f, const char* v) { f.SetLabel(v); });
  t.Double("VectorScaling", &F::_vectorScaling);
  t.Double("ResamplingGridSize", &F::_resamplingGridSize);
  t.Answer("Min", [](F& f) {
    float min, max;
    SW_LengthRange(f._vectors, min, max);
    return AK_String::Format("%g", min);
  });
  t.Answer("Max", [](F& f) {
    float min, max;
    SW_LengthRange(f._vectors, min, max);
    return AK_String::Format("%g", max);
  });
  t.Answer("Average", [](F& f) { return AK_String::Format("%.15g", SW_MeanOfPositiveLengths(f._vectors)); });
  t.Vis("CreateMagnitudeFieldVis", [](F& f) { return f.GetComponent("magnitude") ? "r" : "w"; });
  t.Vis("RemoveMagnitudeFieldVis", [](F& f) { return f.GetComponent("magnitude") ? "w" : "r"; });
  t.Command("CreateMagnitudeField", [](F& f, const char*) {
    if (!f.GetComponent("magnitude")) f.AddComponent(new SW_ScalarField("magnitude", &f));
  });
  t.Command("RemoveMagnitudeField", [](F& f, const char*) { f.DeleteComponent("magnitude"); });
  t.Options("PolylinesList", [](F& f) { return SW_PolylinesList(f); });
  t.Text("SelectedPolyline", &F::_selectedPolyline);
  t.Vis("ExportValuesAlongPolylineVis", [](F& f) {
    return SW_AlongPolylineVis(f, f._selectedPolyline, f.Mesh(), f._onVertices);
  });
  t.Command("ExportValuesAlongPolyline", &F::ExportValuesAlongPolyline);
  t.Command("ExportValues", &F::ExportValues);
}

SW_Mesh* SW_VectorField::Mesh() const { return _mesh.Get(); }
int32_t SW_VectorField::ItemCount() const { return SW_ItemCount(Mesh(), _onVertices); }

void SW_VectorField::SetMesh(SW_Mesh* mesh)
{
  _mesh = mesh;
  if (!mesh) {
    _vectors.Clear();
    return;
  }
  SW_BindItems(_vectors, ItemCount());
  MarkModified("SetMesh");
}

int SW_VectorField::GetBoundingBox(float min[3], float max[3])
{
  SW_Mesh* mesh = Mesh();
  return mesh ? mesh->GetBoundingBox(min, max) : 0;
}

void SW_VectorField::SetLabel(const char* text) { SW_SetFieldLabel(*this, text); }
AK_String SW_VectorField::Label() { return SW_FieldLabel(*this); }

AK_Vec3 SW_VectorField::ItemPosition(SW_Mesh& mesh, int32_t i) const
{
  return _onVertices ? mesh.Vertex(i) : mesh.CellCentre(i);
}


void SW_VectorField::ToggleValueLocation()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || _vectors.Size() != ItemCount()) return;
  if (_onVertices) SW_VertexToCellVectors(mesh->Core(), _vectors, _vectors);
  else SW_CellToVertexVectors(mesh->Core(), _vectors, _vectors);
  _onVertices = !_onVertices;
}

int SW_VectorField::DisplayedVectors()
{
  // Vectors already converted are never saved as the stored ones.
  if (_savedVectors.Size()) return 0;
  SW_DataConversion conversion(*this, ClassScript());
  if (!conversion.Asked()) return 0;
  static const ast_sci_type kArgs[1] = {{AST_SCI_DOUBLE, true, 3}};
  AK_CurrentObjectScope current(this);
  if (conversion.Prepare(kArgs, 1, AST_SCI_VOID)) {
    _savedVectors = _vectors;
    for (AK_Vec3& v : _vectors) {
      double xyz[3] = {v.x, v.y, v.z};
      void* args[1] = {xyz};
      conversion.Call(args);
      v = AK_Vec3(xyz[0], xyz[1], xyz[2]);
    }
  }
  return 1;
}

int SW_VectorField::RestoreVectors()
{
  if (_savedVectors.Size() == 0) return 0;
  _vectors = _savedVectors;
  _savedVectors.Clear();
  return 1;
}

AK_Vec3 SW_VectorField::ValueAt(double x, double y)
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || _vectors.Size() != ItemCount()) return AK_Vec3();
  int32_t c = mesh->FindCell(x, y, -1);
  if (c < 0) return AK_Vec3();
  DisplayedVectors();
  AK_Vec3 result;
  if (_onVertices) {
    double w[4];
    mesh->Core().CellWeights(c, x, y, w);
    result = mesh->InterpolateVertexVector(c, w, _vectors);
  } else {
    result = _vectors[c];
  }
  RestoreVectors();
  return result;
}

int SW_VectorField::WriteRecord(AK_STREAM& stream)
{
  return SW_WriteItemRecord(stream, this, "SW_VectorField", _vectors, 2521);
}

int SW_VectorField::ReadRecord(AK_STREAM& stream)
{
  return SW_ReadItemRecord(stream, this, "SW_VectorField", _vectors, Mesh() ? ItemCount() : -1, 2529, 2530);
}
