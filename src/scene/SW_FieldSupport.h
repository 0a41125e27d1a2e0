// What the scalar and the vector field share: the "Colorbar" child and its label, the
// polyline choice of the exports along a line, and the display conversion through a
// function of the class script.
#pragma once

#include "AK_Basic.h"
#include "AK_Object.h"
#include "AK_Record.h"
#include "ast_sci.h"

class AK_Colorbar;
class SW_Mesh;

// Lets meshes make their curvature (per cell) and normals (per vertex) fields.
void SW_InstallMeshFieldMakers();

// ---- the items of a field: one value or vector per vertex or per cell ----

// The vertex count (onVertices) or cell count of the mesh; 0 without a mesh.
int32_t SW_ItemCount(const SW_Mesh* mesh, int onVertices);

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
