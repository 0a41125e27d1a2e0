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
  if (AK_Colorbar* colorbar = Colorbar()) colorbar->HorizontalAlignment = "left";
  RunClassDefaults();
}

void SW_VectorField::DeclareAttributes(AK_AttributeTableOf<SW_VectorField>& t)
{
  using F = SW_VectorField;
  DeclareShared(t);
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
  t.Answer("Average", [](F& f) { return AK_FormatDouble(SW_MeanOfPositiveLengths(f._vectors)); });
  t.Vis("CreateMagnitudeFieldVis", [](F& f) { return f.GetComponent("magnitude") ? "r" : "w"; });
  t.Vis("RemoveMagnitudeFieldVis", [](F& f) { return f.GetComponent("magnitude") ? "w" : "r"; });
  t.Command("CreateMagnitudeField", [](F& f, const char*) {
    if (!f.GetComponent("magnitude")) f.AddComponent(new SW_ScalarField("magnitude", &f));
  });
  t.Command("RemoveMagnitudeField", [](F& f, const char*) { f.DeleteComponent("magnitude"); });
  t.Command("ExportValuesAlongPolyline", &F::ExportValuesAlongPolyline);
  t.Command("ExportValues", &F::ExportValues);
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
