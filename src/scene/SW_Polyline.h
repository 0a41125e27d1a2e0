// SW_Polyline: the drawable 3-D line of the scene.
//
// An ordered list of points with an attribute text ("Annotations": "key=value" items each
// ended by ";"), a selected vertex that the edit commands work on, and an optional base
// mesh onto which its heights are projected. It is imported from and exported to the line
// files of SW_LineFiles.h, edited vertex by vertex, drawn, kept in the project as the record
// "SW_Polyline:v0" (the points; the attributes go to the attribute file) and measured.
// SW_Polygon is the closed variant, the base of the release and resistance areas.
//
// The points and the Annotations form one AK_NamedPolyline, so that the line-file readers
// and writers take a polyline's own record. After every change of the points the box is
// recomputed. The selected vertex is not kept in range (a new polyline has vertex 0
// selected although it has no points): every use checks it, -1 means none.
#pragma once

#include <cstdint>
#include <istream>

#include "AK_VisObj3d.h"

class SW_Mesh;

class SW_Polyline : public AK_Class<SW_Polyline, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_Polyline";
  SW_Polyline(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Polyline>& t);

  // Projects a line without base mesh once onto the first mesh of the project (the
  // component "DHMs" of its grandparent), then draws.
  void Update() override;
  void Draw() override;
  int SaveData(AK_STREAM& stream) override;
  // Reads "SW_Polyline:v0" and the polygons' former "SW_Polygon:v0"; a record that fails
  // leaves the points as they were.
  int LoadData(AK_STREAM& stream) override;
  int GetBoundingBox(float min[3], float max[3]) override;

  // --- the points ---
  AK_Array<AK_Vec3>& Points() { return _line.points; }
  const AK_Array<AK_Vec3>& Points() const { return _line.points; }
  // The points and the Annotations as one record (what the line-file readers fill).
  AK_NamedPolyline& Line() { return _line; }
  const AK_NamedPolyline& Line() const { return _line; }
  const AK_String& Annotations() const { return _line.text; }
  int32_t Closed() const { return _closed; }
  int32_t SelectedVertex() const { return _selectedVertex; }
  bool HasSelectedVertex() const { return _selectedVertex >= 0 && _selectedVertex < _line.points.Count(); }
  const AK_String& BaseMeshName() const { return _baseMeshName; }
  const AK_String& LabelFont() const { return _labelFont; }
  const double* BoxMin() const { return _boxMin; }
  const double* BoxMax() const { return _boxMax; }
  // The box of the points; unchanged when there are none.
  void UpdateBoundingBox();

  // --- files ---
  // Reads the points by the file's extension ("xy", "xyz", "nxyz", "dxf"/"DXF"; compared
  // exactly). The attribute lines read are appended to the Annotations, and a "name" item
  // renames the polyline. A missing file, a failed read or an unknown extension leave an
  // error text; the points read before a failure stay, an unknown extension keeps the old
  // points.
  void Import(const char* fileName);
  // Writes the points by the extension ("xy", "xyz", "nxyz", "dxf"/"DXF"); an unknown
  // extension writes nothing. A failure leaves an error text.
  void Export(const char* fileName);
  // One record of an "ano" file into this polyline: its name renames it, its colour word
  // colours it, its points are appended. False at the end of the file: the count line is
  // missing or announces no point (a negative count reads no point and the file goes on).
  bool ReadAnoRecord(std::istream& in);
  // The outline block of the area files (SW_ReadOutlinePoints): true when read whole.
  bool ReadPointsFromStream(std::istream& in);

  // --- the base mesh ---
  // Takes the heights of the mesh where the points lie on it and makes it the base mesh.
  void ProjectOnto(SW_Mesh* mesh);
  // The same with the mesh found from this polyline; nothing when there is none.
  void ProjectOntoNamed(const char* path);
  // The base mesh, found from this polyline; none when it is not (or no longer) there.
  SW_Mesh* BaseMesh();

  // --- editing (points given as "x y z") ---
  void AppendPoint(const char* text);
  // A 1-based index (0 unselects, past the end selects the last vertex), or a point "x y z"
  // whose nearest vertex (3-D) is selected.
  void SelectVertex(const char* text);
  void MoveVertex(const char* text);
  // Inserts before the selected vertex; the selection then designates the new point.
  void InsertPoint(const char* text);
  static void InsertPointAt(AK_Array<AK_Vec3>& points, int32_t index, const AK_Vec3& point);
  void RemoveVertex();
  void Reverse();
  // No points, no selection, no Annotations.
  void Clear();
  // Copies the points and the Annotations of the polyline at the path.
  void CopyCoordsOf(const char* path);
  void ListPoints();

  // --- measures ---
  double ProjectedLength() const;
  double SumOfVertexNorms() const;
  // Signed x-y distance (SW_SignedDistance): positive on the left of the path.
  double DistanceToPoint(double x, double y) const;
  void ProjectedDistance(const char* text);

  // --- answers ---
  AK_String MeshNamesList();
  AK_String PolylinesList();
  AK_String SelectedVertexText() const;
  AK_String CoordsOfSelectedVertex() const;
  // glVertex3f of the point in single precision.
  static void DrawVertex(const AK_Vec3& p);
  // Colour by the start of the identifier: "rel" red, "sec" magenta, "ent" orange, "res"
  // green; any other identifier keeps its colour.
  void ColorByNamePrefix();

protected:
  void SetBaseMeshName(const char* name) { _baseMeshName = name; }

  int32_t _closed = 0;  // 1 when the last vertex joins the first (polygons)
  int32_t _selectedVertex = 0;

private:
  // Applies the "name" item of the Annotations as the identifier, when there is one.
  void TakeNameFromAnnotations();
  // Draws the segment from a to b over the mesh in steps of about half a cell, each step
  // at the terrain height; a point outside the mesh stops the resampling (cell -1).
  void DrawResampledOnMesh(const AK_Vec3& a, const AK_Vec3& b, SW_Mesh& mesh, int32_t& cell);

  int32_t _drawResampled = 1;
  int32_t _vertexLabels = 0;
  AK_String _labelFont = "TIMES_ROMAN_10";
  AK_NamedPolyline _line;
  double _boxMin[3] = {0, 0, 0};
  double _boxMax[3] = {0, 0, 0};
  AK_String _baseMeshName;
};
