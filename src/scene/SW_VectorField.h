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
#include "AK_VisObj3d.h"

class AK_Colorbar;
class AK_STREAM;
class SW_Mesh;

class SW_VectorField : public AK_Class<SW_VectorField, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_VectorField";

  SW_VectorField(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_VectorField>& t);

  // The drawing pass: the displayed vectors, the colour bar range and the magnitude child
  // are brought up to date around the base class's pass, which calls Draw.
  void Update() override;
  void Draw() override;
  int GetBoundingBox(float min[3], float max[3]) override;

  // Binds the field: the vectors follow the mesh's vertex (or cell) count, kept when the
  // count is unchanged, (0, 0, 0) otherwise; no mesh empties them.
  void SetMesh(SW_Mesh* mesh);
  SW_Mesh* Mesh() const;
  int32_t ItemCount() const;

  void SetLabel(const char* text);
  AK_String Label();

  // The displayed vector at (x, y); (0, 0, 0) outside the mesh or without one.
  AK_Vec3 ValueAt(double x, double y);
  int DisplayedVectors();
  int RestoreVectors();
  void ToggleValueLocation();

  // The record "SW_VectorField:v0"; as for SW_ScalarField.
  int WriteRecord(AK_STREAM& stream);
  int ReadRecord(AK_STREAM& stream);

  void ExportValuesAlongPolyline(const char* name);
  void ExportValues(const char* name);

  int32_t _onVertices = 0;
  AK_Array<AK_Vec3> _vectors;

private:
  double _vectorScaling = 1.0;
  double _resamplingGridSize = 0;
  AK_String _selectedPolyline;
  AK_Array<AK_Vec3> _savedVectors;
  AK_WeakRef<SW_Mesh> _mesh;

  AK_Vec3 ItemPosition(SW_Mesh& mesh, int32_t i) const;
  void UpdateMagnitude(SW_Mesh& mesh);
  void DrawResampled(SW_Mesh& mesh, AK_Colorbar& colorbar, float scale);
};

// The arrow of vector v centred on p, s v long, with a head in the plane of v and up: four
// line segments as vertex pairs inside an open glBegin of lines.
void SW_DrawArrow(const AK_Vec3& p, const AK_Vec3& v, const AK_Vec3& up, double s);
