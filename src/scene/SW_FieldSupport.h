// What the scalar and the vector field share: the operations on their items (SW_MeshField),
// the "Colorbar" child and its label, the polyline choice of the exports along a line, and
// the display conversion through a function of the class script.
#pragma once

#include <type_traits>

#include "AK_Basic.h"
#include "AK_Object.h"
#include "AK_Record.h"
#include "AK_VisObj3d.h"
#include "AK_WeakRef.h"
#include "ast_sci.h"

class AK_Colorbar;
class SW_Mesh;

// Lets meshes make their curvature (per cell) and normals (per vertex) fields.
void SW_InstallMeshFieldMakers();

// ---- the items of a field: one value or vector per vertex or per cell ----

// The vertex count (onVertices) or cell count of the mesh; 0 without a mesh.
int32_t SW_ItemCount(const SW_Mesh* mesh, int onVertices);

// Removes item i by moving the last item into its place; when i is the last, only the count
// drops. An index outside the items removes nothing.
template <class T>
void SW_RemoveItem(AK_Array<T>& items, int32_t i)
{
  if (i < 0 || i >= items.Size()) return;
  if (i != items.Size() - 1) items[i] = items.Last();
  items.SetCount(items.Size() - 1);
}

// Gives the array n items: kept when it has n already, else n zero items.
template <class T>
void SW_BindItems(AK_Array<T>& items, int32_t n)
{
  if (items.Size() == n) return;
  items.Clear();
  items.Reserve(n);
  items.SetCount(n);
  for (T& item : items) item = T();
}

// A field's record: the tag "<className>:v0", the count and the items. The reader empties
// the items first; it takes a record only when it is whole and, with `expected` not -1,
// holds exactly that many items (the bound mesh's count). The error text names
// "SW_Workspace" and `tagLine` for a wrong tag, `readLine` for anything else.
template <class T>
int SW_WriteItemRecord(AK_STREAM& stream, AK_Object* field, const char* className,
                       const AK_Array<T>& items, int line)
{
  AK_RecordWriter w(stream, field, className, 0);
  w.Array(items);
  return w.Finish("SW_Workspace", line);
}

template <class T>
int SW_ReadItemRecord(AK_STREAM& stream, AK_Object* field, const char* className,
                      AK_Array<T>& items, int32_t expected, int tagLine, int readLine)
{
  items.Clear();
  AK_RecordReader r(stream, field, className);
  if (r.Version(0) < 0) return r.Finish("SW_Workspace", tagLine);
  AK_Array<T> read;
  r.Array(read, expected < 0 ? AK_RecordCountLimit : expected);
  if (expected >= 0 && read.Size() != expected) stream.MarkFailed();
  return r.Finish("SW_Workspace", readLine, [&] { items = std::move(read); });
}

// ---- colour bar, polylines, conversion ----

// The field's "Colorbar" child, or none when it was deleted.
AK_Colorbar* SW_FieldColorbar(AK_Object& field);
// Creates the colour bar as the first component, its header text the field's identifier.
void SW_AddFieldColorbar(AK_Object& field);
AK_String SW_FieldLabel(AK_Object& field);
// The colour bar's short attribute name for file names and DXF layers: its "AttributeShort",
// or its attribute label when nothing answers that; never "%AK_NULL%".
AK_String SW_AttributeShort(AK_Colorbar* colorbar);
void SW_SetFieldLabel(AK_Object& field, const char* text);

// The paths of all polylines of the tree, relative to the field, each followed by
// "%AK_SEP%".
AK_String SW_PolylinesList(AK_Object& field);
// The points of the polyline at the path when it has at least 2; false otherwise.
bool SW_PolylinePoints(AK_Object& field, const AK_String& path, AK_Array<AK_Vec3>& points);
// "w" when a values table along the selected polyline can be written, else "r".
const char* SW_AlongPolylineVis(AK_Object& field, const AK_String& path, SW_Mesh* mesh,
                                int onVertices);

// The conversion function that the field's class script names through "getDataConversion"
// (an answer other than "" and "none"), found in the class namespace, which is current
// while the object lives; the namespace that was current before is restored afterwards.
// A script that does not answer names no conversion.
class SW_DataConversion {
public:
  SW_DataConversion(AK_Object& field, ast_sci_namespace classNamespace);
  ~SW_DataConversion();
  SW_DataConversion(const SW_DataConversion&) = delete;
  SW_DataConversion& operator=(const SW_DataConversion&) = delete;

  // A conversion was asked for (even when its function is missing).
  bool Asked() const { return _asked; }
  // Checks the function against the arguments the field passes and runs "init_" + name;
  // false when there is no usable function.
  bool Prepare(const ast_sci_type* args, int count, ast_sci_data_type result);
  ast_sci_value Call(void* const* args) { return ast_sci_call_prepared(_call, args); }

private:
  bool _asked = false;
  bool _switched = false;
  ast_sci_namespace _previous{};
  AK_String _name;
  ast_sci_prepared_call _call;
};

// ---- the shared operations ----

// Where a field's record reports its failures: the lines of a failed write, of a wrong tag
// and of a failed read.
struct SW_RecordLines {
  int write, tag, read;
};

// What a field of one item (a value or a vector) per vertex or per cell of a mesh does,
// whatever its items are: the binding, the label on the colour bar child, the items'
// positions, the switch between vertices and cells, the point query, the undo of a display
// conversion, the drawing pass around the base class's and the record.
//
// `Field` (the class derived from it) gives what differs: its items (Items, SavedItems),
// its display conversion (DisplayItems), what follows the displayed items before a drawing
// pass (FollowDisplayed), its record's class name and lines (kClassName, kRecordLines), and
// may react to a new binding (MeshRebound). A point query answers a double for values and
// the vector for vectors.
template <class Field, class T>
class SW_MeshField : public AK_VisObj3d {
public:
  using Value = std::conditional_t<std::is_same_v<T, float>, double, T>;

  SW_MeshField(const char* id, AK_Object* parent) : AK_VisObj3d(id, parent) {}

  // The drawing pass: the displayed items and what follows them are brought up to date
  // around the base class's pass, which calls Draw; the stored items come back after it.
  void Update() override;
  // The bound mesh's box; 0 without a mesh.
  int GetBoundingBox(float min[3], float max[3]) override;

  // Binds the field: the items follow the mesh's vertex (or cell) count; they keep their
  // values when the count is unchanged and become 0 otherwise. No mesh empties them.
  void SetMesh(SW_Mesh* mesh);
  SW_Mesh* Mesh() const;
  // The number of items the bound mesh gives the field (vertices or cells); 0 without one.
  int32_t ItemCount() const;

  void SetLabel(const char* text);
  AK_String Label();
  AK_Colorbar* Colorbar();

  // The displayed item at (x, y), interpolated at a vertex field's cell corners; 0 outside
  // the mesh or without one, or when the items do not fit it.
  Value ValueAt(double x, double y);
  // Puts the stored items back after a display conversion: 1 when it did.
  int RestoreItems();
  // Converts between per-vertex and per-cell items (means over corners or cells).
  void ToggleValueLocation();
  // Removes item i; the last item moves into its place.
  void RemoveItem(int32_t i);

  // The record "<kClassName>:v0" in a time-step file: 0 on success, 1 with AK_ErrorText
  // set. The reader refuses a count that a bound mesh does not give (or any absurd count)
  // and then leaves the field without items; it never touches the binding.
  int WriteRecord(AK_STREAM& stream);
  int ReadRecord(AK_STREAM& stream);

  // Set by the owner before SetMesh: 1 one item per vertex, 0 one per cell.
  int32_t _onVertices = 0;

protected:
  // A mesh is bound and the field holds one item for each of its vertices or cells.
  bool FitsMesh();
  // Vertex i, or the centre of cell i.
  AK_Vec3 ItemPosition(SW_Mesh& mesh, int32_t i) const;
  // "w" when a table along the selected polyline can be written, else "r".
  AK_String AlongPolylineVis();
  // The selected polyline's points when a table along it can be written; false otherwise.
  bool SelectedPolylinePoints(AK_Array<AK_Vec3>& points);
  // The entries both fields answer alike: "Label", "SetLabel", "PolylinesList",
  // "SelectedPolyline" and "ExportValuesAlongPolylineVis".
  static void DeclareShared(AK_AttributeTableOf<Field>& t);
  // Nothing to follow a new binding unless the field says so.
  void MeshRebound() {}

  AK_String _selectedPolyline;

private:
  Field& Self() { return static_cast<Field&>(*this); }
  AK_WeakRef<SW_Mesh> _mesh;
};

template <class Field, class T>
void SW_MeshField<Field, T>::DeclareShared(AK_AttributeTableOf<Field>& t)
{
  t.Answer("Label", [](Field& f) { return f.Label(); });
  t.Command("SetLabel", [](Field& f, const char* v) { f.SetLabel(v); });
  t.Options("PolylinesList", [](Field& f) { return SW_PolylinesList(f); });
  t.Text("SelectedPolyline", &SW_MeshField::_selectedPolyline).Path("Polyline");
  t.Vis("ExportValuesAlongPolylineVis", [](Field& f) { return f.AlongPolylineVis(); });
}
