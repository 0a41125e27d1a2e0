#include "SW_FieldSupport.h"

#include "AK_Colorbar.h"
#include "AK_CurrentObject.h"
#include "SW_FieldMath.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

namespace {

// A field of the mesh's items, bound to it and labelled, with the given items when they fit.
template <class Field, class T>
AK_Object* MakeMeshField(SW_Mesh& mesh, const char* id, const char* label, int onVertices,
                         const AK_Array<T>& items, AK_Array<T> Field::*member)
{
  auto* field = new Field(id, &mesh);
  field->_onVertices = onVertices;
  field->SetMesh(&mesh);
  field->SetLabel(label);
  if (items.Size() == (field->*member).Size()) field->*member = items;
  return field;
}

// The vertex items of cell c weighted with w: values summed from the first corner on,
// vectors as the mesh interpolates them.
double Interpolate(SW_Mesh& mesh, int32_t c, const double w[4], const AK_Array<float>& values)
{
  const AK_Index4& cell = mesh.Cells()[c];
  double result = 0;
  for (int k = 0; k < mesh.CornerCount(c); ++k) result += w[k] * values[cell[k]];
  return result;
}

AK_Vec3 Interpolate(SW_Mesh& mesh, int32_t c, const double w[4], const AK_Array<AK_Vec3>& vectors)
{
  return mesh.InterpolateVertexVector(c, w, vectors);
}

void VertexToCell(const SW_MeshCore& mesh, AK_Array<float>& values) { SW_VertexToCellValues(mesh, values, values); }
void CellToVertex(const SW_MeshCore& mesh, AK_Array<float>& values) { SW_CellToVertexValues(mesh, values, values); }
void VertexToCell(const SW_MeshCore& mesh, AK_Array<AK_Vec3>& vectors)
{
  SW_VertexToCellVectors(mesh, vectors, vectors);
}
void CellToVertex(const SW_MeshCore& mesh, AK_Array<AK_Vec3>& vectors)
{
  SW_CellToVertexVectors(mesh, vectors, vectors);
}

}  // namespace

// ---- the shared operations ----

template <class Field, class T>
void SW_MeshField<Field, T>::Update()
{
  SW_Mesh* mesh = Mesh();
  if (!IsActive() || !Visibility || !FitsMesh() || Self().Items().Size() == 0) return;
  Self().DisplayItems();
  Self().FollowDisplayed(*mesh);
  AK_OperationScope scope;
  AK_VisObj3d::Update();
  if (!IsDead()) RestoreItems();
}

template <class Field, class T>
int SW_MeshField<Field, T>::GetBoundingBox(float min[3], float max[3])
{
  SW_Mesh* mesh = Mesh();
  return mesh ? mesh->GetBoundingBox(min, max) : 0;
}

template <class Field, class T>
void SW_MeshField<Field, T>::SetMesh(SW_Mesh* mesh)
{
  _mesh = mesh;
  Self().MeshRebound();
  if (!mesh) {
    Self().Items().Clear();
    return;
  }
  SW_BindItems(Self().Items(), ItemCount());
  MarkModified("SetMesh");
}

template <class Field, class T>
SW_Mesh* SW_MeshField<Field, T>::Mesh() const
{
  return _mesh.Get();
}

template <class Field, class T>
int32_t SW_MeshField<Field, T>::ItemCount() const
{
  return SW_ItemCount(Mesh(), _onVertices);
}

template <class Field, class T>
bool SW_MeshField<Field, T>::FitsMesh()
{
  return Mesh() && Self().Items().Size() == ItemCount();
}

template <class Field, class T>
AK_Vec3 SW_MeshField<Field, T>::ItemPosition(SW_Mesh& mesh, int32_t i) const
{
  return _onVertices ? mesh.Vertex(i) : mesh.CellCentre(i);
}

template <class Field, class T>
void SW_MeshField<Field, T>::SetLabel(const char* text)
{
  SW_SetFieldLabel(*this, text);
}

template <class Field, class T>
AK_String SW_MeshField<Field, T>::Label()
{
  return SW_FieldLabel(*this);
}

template <class Field, class T>
AK_Colorbar* SW_MeshField<Field, T>::Colorbar()
{
  return SW_FieldColorbar(*this);
}

template <class Field, class T>
typename SW_MeshField<Field, T>::Value SW_MeshField<Field, T>::ValueAt(double x, double y)
{
  if (!FitsMesh()) return Value();
  SW_Mesh& mesh = *Mesh();
  const int32_t c = mesh.FindCell(x, y, -1);
  if (c < 0) return Value();
  Self().DisplayItems();
  const AK_Array<T>& items = Self().Items();
  Value result;
  if (_onVertices) {
    double w[4];
    mesh.Core().CellWeights(c, x, y, w);
    result = Interpolate(mesh, c, w, items);
  } else {
    result = items[c];
  }
  RestoreItems();
  return result;
}

template <class Field, class T>
int SW_MeshField<Field, T>::RestoreItems()
{
  AK_Array<T>& saved = Self().SavedItems();
  if (saved.Size() == 0) return 0;
  Self().Items() = saved;
  saved.Clear();
  return 1;
}

template <class Field, class T>
void SW_MeshField<Field, T>::ToggleValueLocation()
{
  if (!FitsMesh()) return;
  const SW_MeshCore& core = Mesh()->Core();
  if (_onVertices) VertexToCell(core, Self().Items());
  else CellToVertex(core, Self().Items());
  _onVertices = !_onVertices;
}

template <class Field, class T>
void SW_MeshField<Field, T>::RemoveItem(int32_t i)
{
  SW_RemoveItem(Self().Items(), i);
}

template <class Field, class T>
int SW_MeshField<Field, T>::WriteRecord(AK_STREAM& stream)
{
  return SW_WriteItemRecord(stream, this, Field::kClassName, Self().Items(), Field::kRecordLines.write);
}

template <class Field, class T>
int SW_MeshField<Field, T>::ReadRecord(AK_STREAM& stream)
{
  return SW_ReadItemRecord(stream, this, Field::kClassName, Self().Items(), Mesh() ? ItemCount() : -1,
                           Field::kRecordLines.tag, Field::kRecordLines.read);
}

template <class Field, class T>
AK_String SW_MeshField<Field, T>::AlongPolylineVis()
{
  return SW_AlongPolylineVis(*this, _selectedPolyline, Mesh(), _onVertices);
}

template <class Field, class T>
bool SW_MeshField<Field, T>::SelectedPolylinePoints(AK_Array<AK_Vec3>& points)
{
  return AlongPolylineVis() == "w" && SW_PolylinePoints(*this, _selectedPolyline, points) && FitsMesh();
}

template class SW_MeshField<SW_ScalarField, float>;
template class SW_MeshField<SW_VectorField, AK_Vec3>;

void SW_InstallMeshFieldMakers()
{
  SW_FieldMakers.cellValues = [](SW_Mesh& mesh, const char* id, const char* label,
                                 const AK_Array<float>& values) {
    return MakeMeshField(mesh, id, label, 0, values, &SW_ScalarField::_values);
  };
  SW_FieldMakers.vertexVectors = [](SW_Mesh& mesh, const char* id, const char* label,
                                    const AK_Array<AK_Vec3>& vectors) {
    return MakeMeshField(mesh, id, label, 1, vectors, &SW_VectorField::_vectors);
  };
}

int32_t SW_ItemCount(const SW_Mesh* mesh, int onVertices)
{
  if (!mesh) return 0;
  return onVertices ? mesh->NumVertices() : mesh->NumCells();
}

AK_Colorbar* SW_FieldColorbar(AK_Object& field)
{
  return dynamic_cast<AK_Colorbar*>(field.GetComponent("Colorbar"));
}

void SW_AddFieldColorbar(AK_Object& field)
{
  field.AddComponent(new AK_Colorbar("Colorbar", nullptr));
  SW_SetFieldLabel(field, field.Id());
}

AK_String SW_FieldLabel(AK_Object& field)
{
  AK_Colorbar* colorbar = SW_FieldColorbar(field);
  return colorbar ? colorbar->HeaderText() : AK_String();
}

void SW_SetFieldLabel(AK_Object& field, const char* text)
{
  if (AK_Colorbar* colorbar = SW_FieldColorbar(field))
    if (AK_Object* header = colorbar->HeaderLabel()) header->Set("Text", text);
}

AK_String SW_AttributeShort(AK_Colorbar* colorbar)
{
  if (!colorbar) return AK_String();
  AK_String s = colorbar->Get("AttributeShort");
  return s == "%AK_NULL%" || s == "" ? colorbar->AttributeLabel() : s;
}

AK_String SW_PolylinesList(AK_Object& field)
{
  AK_String list;
  field.GetRoot()->ListObjectsOfType(list, "Polyline", &field, nullptr);
  return list;
}

SW_DataConversion::SW_DataConversion(AK_Object& field, ast_sci_namespace classNamespace)
{
  if (!classNamespace) return;
  AK_String answer;
  if (!field.ScriptGet(classNamespace, "getDataConversion", answer)) return;
  if (answer == "" || answer == "none" || answer == "%AK_NULL%") return;
  _asked = true;
  _name = answer;
  _previous = ast_sci_get_namespace();
  ast_sci_set_namespace(classNamespace);
  _switched = true;
}

SW_DataConversion::~SW_DataConversion()
{
  if (_switched) ast_sci_set_namespace(_previous);
}

bool SW_DataConversion::Prepare(const ast_sci_type* args, int count, ast_sci_data_type result)
{
  if (!_asked) return false;
  ast_sci_symbol* function = ast_sci_find_function(_name);
  if (!function) return false;
  _call = ast_sci_prepare_call(function, result, args, count);
  if (!_call) return false;
  if (ast_sci_symbol* init = ast_sci_find_function("init_" + _name)) {
    ast_sci_prepared_call call = ast_sci_prepare_call(init, AST_SCI_VOID, nullptr, 0);
    if (call) ast_sci_call_prepared(call, nullptr);
  }
  return true;
}

const char* SW_AlongPolylineVis(AK_Object& field, const AK_String& path, SW_Mesh* mesh,
                                int onVertices)
{
  AK_Array<AK_Vec3> points;
  return path != "" && mesh && onVertices && SW_PolylinePoints(field, path, points) ? "w" : "r";
}

bool SW_PolylinePoints(AK_Object& field, const AK_String& path, AK_Array<AK_Vec3>& points)
{
  auto* line = path == "" ? nullptr : dynamic_cast<SW_Polyline*>(field.FindObject(path));
  if (!line || line->Points().Size() < 2) return false;
  points = line->Points();
  return true;
}
