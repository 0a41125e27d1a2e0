// SW_Mesh: the terrain surface as an object of the tree (type "DHM"), a mesh of triangles
// and quadrilaterals over the x-y plane with heights in z.
//
// The mesh data and its geometric operations are the geometry core's (SW_MeshCore, held as
// the member reached through Core()); this class adds the attributes and commands, the
// grid generators, the import and export dispatch, the binary record, the contour lines,
// the curvature-minimising flips, the derived fields and the drawing. The queries that the
// objects standing on a mesh use every step are forwarded here under their own names.
//
// Derived data (contour lines, the coarsened display copy, the display list) is dropped
// whenever the geometry changes and rebuilt on demand.
//
// Grid parameters: "Nx", "Ny", "Dx", "Xll" and "Xor" are the parameters of the generators.
// The generators, the readers and the record set them from the mesh they make; setting them
// changes only the parameters, never the grid description by which a grid mesh locates its
// points, so that the mesh stays consistent until the next generator runs.
#pragma once

#include <cstdint>
#include <memory>

#include "AK_VisObj3d.h"
#include "SW_ContourLines.h"
#include "SW_MeshCore.h"

class SW_Mesh;

// Makers of the fields that a mesh derives from itself ("CreateCurvatureField",
// "CreateNormalsField"). The field classes stand above the mesh, so the library that holds
// them installs the makers; each answers a new field named `id`, bound to the mesh, labelled,
// holding the values given, not yet added to the mesh. A missing maker leaves the command an
// error text.
struct SW_MeshFieldMakers {
  AK_Object* (*cellValues)(SW_Mesh& mesh, const char* id, const char* label,
                           const AK_Array<float>& values) = nullptr;
  AK_Object* (*vertexVectors)(SW_Mesh& mesh, const char* id, const char* label,
                              const AK_Array<AK_Vec3>& vectors) = nullptr;
};
extern SW_MeshFieldMakers SW_FieldMakers;

// Brings into the project what lies beside a terrain file that `mesh` has just read: the
// lines and areas of the project stand beside the meshes' container, where a mesh cannot
// reach, so the library that holds the container installs it. None: nothing is brought in.
extern void (*SW_ImportBesideMesh)(SW_Mesh& mesh, const char* path);

// The mesh data of one mesh object: drops the object's derived data whenever the core
// replaces its geometry.
class SW_MeshData : public SW_MeshCore {
public:
  explicit SW_MeshData(SW_Mesh* owner) : _owner(owner) {}
  SW_MeshData(const SW_MeshData&) = delete;
  SW_MeshData& operator=(const SW_MeshData&) = delete;

protected:
  void DropDerivedGeometry() override;

private:
  SW_Mesh* _owner;
};

class SW_Mesh : public AK_Class<SW_Mesh, AK_VisObj3d> {
public:
  static constexpr const char* kClassName = "SW_Mesh";
  SW_Mesh(const char* id, AK_Object* parent);
  ~SW_Mesh() override;
  static void DeclareAttributes(AK_AttributeTableOf<SW_Mesh>& t);

  // --- the mesh data ---
  SW_MeshCore& Core() { return _data; }
  const SW_MeshCore& Core() const { return _data; }
  int32_t NumVertices() const { return _data.NumVertices(); }
  int32_t NumCells() const { return _data.NumCells(); }
  AK_Array<AK_Vec3>& Vertices() { return _data._x; }
  const AK_Array<AK_Vec3>& Vertices() const { return _data._x; }
  const AK_Vec3& Vertex(int32_t v) const { return _data._x[v]; }
  // Corners per cell (a negative fourth corner makes a triangle).
  const AK_Array<AK_Index4>& Cells() const { return _data._lcv; }
  // The cell across each edge, -1 at the border; empty until built.
  const AK_Array<AK_Index4>& CellNeighbours() const { return _data._lcc; }
  // One area-carrying normal per vertex (not of unit length).
  AK_Array<AK_Vec3>& VertexNormals() { return _data._vertexNormals; }
  const AK_Array<AK_Vec3>& VertexNormals() const { return _data._vertexNormals; }
  int CornerCount(int32_t c) const { return _data.CornerCount(c); }
  // 1 for a Cartesian grid ("RegularGrid"), which locates points by arithmetic.
  int RegularGrid() const { return _data._cartesian ? 1 : 0; }
  bool IsGrid() const { return _data.IsGrid(); }
  double GetResolution() const;

  // --- as a point store (a mesh without cells) ---
  void SetNumVertices(int32_t n) { _data.SetNumVertices(n); }
  // While 1, SaveData and LoadData transfer nothing and answer success.
  void SetSkipBinaryData(int skip) { _skipBinaryData = skip; }

  // --- topology and cell geometry (SW_MeshCore) ---
  int32_t Neighbour(int32_t c, int k) const { return _data.Neighbour(c, k); }
  int NextEdge(int32_t& c, int32_t& k) const { return _data.NextEdge(c, k); }
  void VertexNeighbours(int32_t v, AK_Array<int32_t>& out) { _data.VertexNeighbours(v, out); }
  AK_Vec3 CellCentre(int32_t c) const { return _data.CellCentre(c); }
  AK_Vec3 CellAreaVector(int32_t c) const { return _data.CellAreaVector(c); }
  AK_Vec3 EdgeNormal(int32_t c, int k) const { return _data.EdgeNormal(c, k); }
  void ComputeConnectivity() { _data.ComputeConnectivity(); }
  void ComputeVertexNormals() { _data.ComputeVertexNormals(); }

  // --- point location and interpolation (SW_MeshCore) ---
  int ExitEdge(const AK_Vec3& p, int32_t c) const { return _data.ExitEdge(p, c); }
  int32_t FindCell(const AK_Vec3& p, int32_t hint) const { return _data.FindCell(p, hint); }
  int32_t FindCell(const AK_Vec2& p, int32_t hint) const { return _data.FindCell(p, hint); }
  int32_t FindCell(double x, double y, int32_t hint) const { return _data.FindCell(x, y, hint); }
  void CellWeights(int32_t c, const AK_Vec3& p, double w[4]) const { _data.CellWeights(c, p, w); }
  void CellWeights(int32_t c, const AK_Vec2& p, double w[4]) const { _data.CellWeights(c, p, w); }
  int32_t ProjectToSurface(const AK_Vec3& p, int32_t hint, double* weights) const
  {
    return _data.ProjectToSurface(p, hint, weights);
  }
  int32_t HeightAt(AK_Vec3& p, int32_t hint) const { return _data.HeightAt(p, hint); }
  void InterpolateHeightInCell(AK_Vec3& p, int32_t c) const { _data.InterpolateHeightInCell(p, c); }
  float InterpolateVertexValue(int32_t c, const double w[4], const AK_Array<float>& values) const
  {
    return _data.InterpolateVertexValue(c, w, values);
  }
  AK_Vec3 InterpolateVertexVector(int32_t c, const double w[4],
                                  const AK_Array<AK_Vec3>& values) const
  {
    return _data.InterpolateVertexVector(c, w, values);
  }
  AK_Vec3 RandomPointInCell(int32_t c) const { return _data.RandomPointInCell(c); }
  void CellsAlongSegment(const AK_Vec2& a, const AK_Vec2& b, AK_Array<int32_t>& cells,
                         AK_Array<AK_Vec2>* points = nullptr) const
  {
    _data.CellsAlongSegment(a, b, cells, points);
  }
  void EdgeCrossingsOfSegment(const AK_Vec2& a, const AK_Vec2& b,
                              AK_Array<SW_EdgeCrossing>& out) const
  {
    _data.EdgeCrossingsOfSegment(a, b, out);
  }
  // The crossings of every segment of a polyline's points, in order (a segment whose start
  // lies outside the mesh is skipped).
  void EdgeCrossingsOfPolyline(const AK_Array<AK_Vec3>& points,
                               AK_Array<SW_EdgeCrossing>& out) const
  {
    _data.EdgeCrossingsOfPoints(points, out);
  }

  // --- commands ---
  // Empties the mesh: vertices, cells, neighbours, normals, segments, the total area vector,
  // the grid flags and the derived data.
  void Clear();
  void SetToPlane();
  void SetToCartesianGrid();
  void SetToHoneyCombGrid();
  // Reads a terrain file chosen by its extension ("xyz", "tbp", "e00"/"E00"/"asc"/"ASC"/
  // "txt"/"TXT" with `halvings` resolution halvings, "nxyz", "dxf"/"DXF"; SW_FileFormats.h),
  // then brings in the files beside it (SW_ImportBesideMesh) and loads a ".jpg" or ".ppm"
  // texture beside it. An unknown extension or a failed reader leaves an
  // error text (the mesh as the reader left it: a reader that emptied it leaves no area
  // and no resolution either).
  void Import(const char* path, int halvings = 0);
  // Writes an ESRI grid or a point list ("xyz") by the extension.
  void Export(const char* path);
  // Inserts the polylines of an "nxyz" or DXF file (another extension: nothing), or one
  // polyline object, as break lines. Vertices that are no finite points or lie outside the
  // terrain's box are skipped with a warning; break lines that would leave the terrain
  // without cells leave it as it was, with an error text.
  void InsertBreakLines(const char* path);
  void InsertBreakLine(const char* objectPath);
  // Projects the vertex heights onto the base mesh (vertices outside it are filled or
  // removed), then tells every component to follow with "ProjectOnto". A mesh of which no
  // vertex lies over the base stays as it was, with an error.
  void ProjectOnto(SW_Mesh* base);
  void InterpolateNormalsFrom(SW_Mesh* base);
  void InterpolateNormalsFromBaseMesh();
  // A Cartesian (honeycomb) grid of cell size "Dx" over the base mesh's box, projected onto
  // it; nothing when "BaseMesh" names no other mesh.
  void CoverWithCartesianGrid(const char* value = "");
  void CoverWithHoneyCombGrid(const char* value = "");
  void Smooth(int passes);
  void SmoothVertexNormals(int passes);
  void MinimizeCurvature();
  // Replaces the component "curvature" by a field of one value per cell: the largest
  // 2 sin(theta/2) / distance over the corners, theta the angle between the corner's vertex
  // normal and the cell normal.
  void CreateCurvatureField();
  // Replaces the component "normals" by a field of the unit vertex normals (0 0 0 where a
  // vertex has none).
  void CreateNormalsField();
  void RemoveCurvatureField();
  void RemoveNormalsField();

  // --- contour lines ---
  // Replaces the contour lines with those of the heights at every "ContourLinesMinorStep".
  void ComputeContourLines();
  const SW_ContourLineSet* ContourLines() const { return _contourLines.get(); }
  void ExportContourLines(const char* path);

  // --- lists ---
  AK_String GetMeshNamesList();
  AK_String GetPolylinesList();

  // --- terrain files without a mesh ---
  static bool ReadAsciiGridHeader(const char* path, double lowerLeft[2], double upperRight[2],
                                  double& cellSize);
  // Merges grid tiles (paths joined by "%AK_SEP%") into this mesh; false with an error text.
  bool ReadGridTiles(const char* list);

  // --- drawing ---
  void Draw() override;
  // Draws cell c as one polygon lifted by d along its unit normal.
  void DrawCellLifted(int32_t c, float d) const;
  int GetBoundingBox(float min[3], float max[3]) override;

  // --- record ---
  int SaveData(AK_STREAM& stream) override;
  int LoadData(AK_STREAM& stream) override;

  // Drops the contour lines, the coarsened copy and the display list (the geometry changed).
  void DropDerivedData();

  // --- generator and display parameters ---
  int32_t Nx = 50;
  int32_t Ny = 20;
  double Length = 1000;
  double Width = 200;
  double Inclination = 20;
  double Dx = 5;
  double Xll[2] = {0, 0};
  double Xor[2] = {1000, 1000};
  int32_t DisplayFaces = 1;
  int32_t SmoothShading = 1;
  int32_t DisplayConnectivity = 0;
  int32_t DisplayNodeLabels = 0;
  int32_t DisplayContourLines = 1;
  double ContourLinesMinorStep = 20;
  double ContourLinesMajorStep = 100;
  double ContourLinesMinorWidth = 1.0;
  double ContourLinesMajorWidth = 2.0;
  int32_t ContourLinesLabelled = 1;
  double ContourLinesLabelDistance = 500;
  AK_String ContourLinesLabelsFont = "TIMES_ROMAN_10";
  int32_t DrawGrid = 0;
  double GridSize = 100;
  double BreakLinesAngle = 0;
  int32_t ShadeIncl = 0;
  double InclMin = 30;
  double InclMax = 60;
  AK_String BaseMesh;
  int32_t SmootherIterations = 10;
  int32_t DrawCoarsened = 0;
  int32_t NumNoDataValueInterpolationIterations = 1000;
  double XActive[2] = {0, 0};

private:
  // Copies the grid description of the mesh data into the parameters.
  void TakeGridParameters();
  // Copies the box parameters into the mesh data before a generator runs.
  void GiveBoxParameters();
  // Step 3 of an import: box, mean resolution and grid numbers of a mesh that is no grid.
  void MeasureImportedMesh();
  void ImportBesideFiles(const char* path);
  // Inserts break lines into the terrain; when they would leave it without cells, the mesh
  // stays as it was and the command fails.
  void InsertIntoTerrain(const AK_Array<AK_NamedPolyline>& lines);
  // The mesh named by "BaseMesh" when it is another mesh, else none.
  SW_Mesh* FindBaseMesh();
  void ReplaceComponent(const char* id, AK_Object* component);
  void DrawFaces();
  void DrawConnectivity();
  void DrawBendEdges();
  void DrawContourLines();
  // True when there are no contour lines or a contour step changed since they were traced.
  bool ContourLinesStale();
  void DrawCoordinateGrid();

  SW_MeshData _data{this};
  int32_t _skipBinaryData = 0;
  std::unique_ptr<SW_ContourLineSet> _contourLines;
  std::unique_ptr<SW_Mesh> _coarseMesh;
  GLuint _displayList = 0;
  // The stamps at which the contour lines were computed and the display list recorded.
  int32_t _contourStamp = 0;
  int32_t _displayListStamp = 0;
};
