#include "SW_FieldSupport.h"

#include "AK_Colorbar.h"
#include "AK_CurrentObject.h"
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

}  // namespace

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
