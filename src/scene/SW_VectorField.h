// SW_VectorField (type "VectorField"): one 3-D vector (f64) per vertex or per cell of a
// terrain mesh: the particle velocities mapped onto the mesh, the normals of a mesh, the
// gradient of a scalar field, the velocities of the particles.
//
// The twin of SW_ScalarField: created by its owner (also by type name), `_onVertices` set,
// bound with SetMesh, then `_vectors` written directly. A "Colorbar" child colours by length;
// an optional "magnitude" child (SW_ScalarField) follows the lengths at every drawing pass.
// The class script may name a conversion function ("getDataConversion") that every display
// and export sees; Min, Max, Average and the record use the stored vectors.
#pragma once

#include <cstdint>

#include "AK_ClassHelper.h"
#include "SW_FieldSupport.h"

class AK_Colorbar;
class AK_STREAM;
class SW_Mesh;

// Binding, label, point query (ValueAt), value location, drawing pass and record: see
// SW_MeshField.
class SW_VectorField : public AK_Class<SW_VectorField, SW_MeshField<SW_VectorField, AK_Vec3>> {
public:
  static constexpr const char* kClassName = "SW_VectorField";
  static constexpr SW_RecordLines kRecordLines{2521, 2529, 2530};

  SW_VectorField(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_VectorField>& t);

  void Draw() override;

  // Puts the displayed vectors in place of the stored ones: 1 when a conversion was asked
  // for; RestoreVectors undoes it (1 when it did).
  int DisplayedVectors();
  int RestoreVectors() { return RestoreItems(); }
  // Removes vector i; the last vector moves into its place.
  void RemoveVector(int32_t i) { RemoveItem(i); }

  void ExportValuesAlongPolyline(const char* name);
  void ExportValues(const char* name);

  AK_Array<AK_Vec3> _vectors;

private:
  friend class SW_MeshField<SW_VectorField, AK_Vec3>;
  AK_Array<AK_Vec3>& Items() { return _vectors; }
  AK_Array<AK_Vec3>& SavedItems() { return _savedVectors; }
  int DisplayItems() { return DisplayedVectors(); }
  // The colour bar's range and the magnitude child follow the displayed vectors.
  void FollowDisplayed(SW_Mesh& mesh);

  double _vectorScaling = 1.0;
  double _resamplingGridSize = 0;
  AK_Array<AK_Vec3> _savedVectors;

  void UpdateMagnitude(SW_Mesh& mesh);
  void DrawResampled(SW_Mesh& mesh, AK_Colorbar& colorbar, float scale);
};

// The arrow of vector v centred on p, s v long, with a head in the plane of v and up: four
// line segments as vertex pairs inside an open glBegin of lines.
void SW_DrawArrow(const AK_Vec3& p, const AK_Vec3& v, const AK_Vec3& up, double s);
