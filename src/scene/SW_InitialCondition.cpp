// Release and entrainment areas, their depth sources, and their container.
#include "SW_InitialCondition.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "AK_ClassFiles.h"
#include "AK_NumberText.h"
#include "SW_AreaImport.h"
#include "SW_Mesh.h"

namespace {

constexpr const char* kReleaseDhmPrefix = "from_ReleaseDHM_";
constexpr const char* kReleaseDhms = "root/Project/ReleaseDHMs";

bool NamesReleaseDepthMesh(const AK_String& name)
{
  return std::strncmp(name, kReleaseDhmPrefix, std::strlen(kReleaseDhmPrefix)) == 0;
}

}  // namespace

SW_InitialCondition::SW_InitialCondition(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  ParseFloatTripleList("0 1 1", Color);
  LineWidth = 2.0f;
  RunClassDefaults();
}

void SW_InitialCondition::DeclareAttributes(AK_AttributeTableOf<SW_InitialCondition>& t)
{
  using A = SW_InitialCondition;
  // "from_ReleaseDHM_" + m names the mesh m of the release rasters: a rename of it is followed, a
  // deletion leaves the choice as it is (the run warns that it finds no such mesh).
  AK_AttributeEntry& depth = t.Attribute(
      "RelDepFuncName", [](A& a) { return a._relDepFuncName; },
      [](A& a, const char* v) { a.SetRelDepFuncName(v); });
  depth.Path("DHM");
  depth.pathOf = [](AK_Object& o) {
    const AK_String& name = static_cast<A&>(o)._relDepFuncName;
    return NamesReleaseDepthMesh(name) ? AK_String(kReleaseDhms) + "/" + (name.c_str() + std::strlen(kReleaseDhmPrefix))
                                       : AK_String();
  };
  depth.repath = [](AK_Object& o, const char* path) {
    A& a = static_cast<A&>(o);
    const char* slash = path ? std::strrchr(path, '/') : nullptr;
    const char* id = slash ? slash + 1 : path;
    if (!id || !*id) return;
    a._relDepFuncName = AK_String(kReleaseDhmPrefix) + id;
    a._releaseDhmPath = AK_String(kReleaseDhms) + "/" + id;
  };
  t.Options("RelDepFuncNameOpts", [](A& a) { return a.RelDepFuncNameOpts(); });
  t.Attribute(
      "RelDepFuncPar", [](A& a) { return a.GetRelDepFuncPar(); },
      [](A& a, const char* v) { a.SetRelDepFuncPar(v); });
  t.Vis("RelDepFuncParVis", [](A& a) {
    if (!a._formula || !a._formula->HasGetpar()) return "-";
    return a._formula->HasSetpar() ? "w" : "r";
  });
  t.Double("Depth", &A::_depth);
  t.Vis("DepthVis", [](A& a) { return a._relDepFuncName == "const" ? "w" : "r"; });
  t.Double("Density", &A::_density);
  t.Double("Enthalpy", &A::_enthalpy);
  t.Answer("Mass", [](A& a) { return a.MassText(); });
  t.Command("UpdateMass", [](A& a, const char*) { a.UpdateMass(); });
  t.Command("Polygon", &A::CopyPolygonOf);
}

// --- the depth source ---

void SW_InitialCondition::ClearDepthSource()
{
  _formula.reset();
  _releaseDhmPath = "";
  _releaseDhm.Reset();
}

void SW_InitialCondition::SetRelDepFuncName(const char* value)
{
  const char* name = value ? value : "";
  if (_formula) {
    ClearDepthSource();
    _relDepFuncName = "const";
  }
  if (std::strcmp(name, "const") == 0) {
    ClearDepthSource();
    _relDepFuncName = "const";
  } else if (std::strncmp(name, kReleaseDhmPrefix, std::strlen(kReleaseDhmPrefix)) == 0) {
    SelectReleaseDepthMesh(name);
  } else {
    SelectFormula(name);
  }
  UpdateMass();
}

void SW_InitialCondition::SelectReleaseDepthMesh(const char* value)
{
  AK_String path = AK_String(kReleaseDhms) + "/" + (value + std::strlen(kReleaseDhmPrefix));
  ClearDepthSource();
  AK_Object* mesh = FindObject(path);
  if (!mesh) {
    // The choice stays, so a save keeps it and the mesh counts again once it is back.
    AK_MESSAGE(AK_String("WARNING:cannot find ReleaseDHM '") + path + "' for release area " + Id());
    _releaseDhmPath = path;
    _relDepFuncName = value;
    return;
  }
  if (mesh->GetType() != "DHM" || !dynamic_cast<SW_Mesh*>(mesh)) {
    AK_MESSAGE(AK_String("WARNING:object '") + path + "' is not a DHM ");
    return;
  }
  _releaseDhmPath = path;
  _releaseDhm = mesh;
  _relDepFuncName = value;
}

void SW_InitialCondition::SelectFormula(const char* name)
{
  AK_String path = AK_ResolveAttributeFile(name, "cint", "release_depth");
  AK_File file = AK_IsDirectory(path) ? AK_File() : AK_File(path, "r");
  if (!file) {
    AK_MESSAGE(AK_String("ERROR: could not open formula file ") + path);
    return;
  }
  _relDepFuncName = name;
  std::unique_ptr<SW_ReleaseDepthFormula> formula = SW_ReleaseDepthFormula::Compile(file, path, this);
  if (!formula) {
    ClearDepthSource();
    _relDepFuncName = "const";
  } else if (_relDepFuncName == name) {
    _formula = std::move(formula);
  }
  // Otherwise the formula's "init" chose another depth source for its area: that one
  // stands, and the formula is not put in force behind its back.
}

AK_Object* SW_InitialCondition::ReleaseDepthObject()
{
  if (_releaseDhmPath.IsEmpty()) return nullptr;
  if (!_releaseDhm) {
    // Deleted or unloaded since: the path may name a mesh again (FindObject loads it).
    AK_Object* mesh = FindObject(_releaseDhmPath);
    if (mesh && mesh->GetType() == "DHM") _releaseDhm = mesh;
  }
  return _releaseDhm.Get();
}

const SW_MeshCore* SW_InitialCondition::ReleaseDepthMesh()
{
  auto* mesh = dynamic_cast<SW_Mesh*>(ReleaseDepthObject());
  return mesh ? &mesh->Core() : nullptr;
}

AK_String SW_InitialCondition::RelDepFuncNameOpts()
{
  AK_String options = AK_String("const") + "%AK_SEP%";
  if (AK_Object* meshes = FindObject(kReleaseDhms)) {
    for (int i = 0; i < meshes->ComponentCount(); ++i)
      if (AK_Object* m = meshes->Component(i)) options += AK_String(kReleaseDhmPrefix) + m->Id() + "%AK_SEP%";
  }
  // A formula in both attributes directories is one option (the user's file is the one
  // that compiles).
  AK_Array<AK_String> listed;
  for (const AK_String& file : AK_ListAttributeFiles("cint", "release_depth")) {
    AK_String name = SW_FileBaseName(file);
    if (listed.Find(name) >= 0) continue;
    listed.Append(name);
    options += name + "%AK_SEP%";
  }
  return options;
}

AK_String SW_InitialCondition::GetRelDepFuncPar()
{
  std::shared_ptr<SW_ReleaseDepthFormula> formula = _formula;
  return formula ? formula->Parameters(this) : AK_String();
}

void SW_InitialCondition::SetRelDepFuncPar(const char* value)
{
  std::shared_ptr<SW_ReleaseDepthFormula> formula = _formula;
  if (!formula || !formula->HasSetpar()) return;
  formula->SetParameters(this, value);
  UpdateMass();
}

// --- depth and mass ---

double SW_InitialCondition::VaryingDepthAt(const AK_Vec3& p, const AK_Vec3& n,
                                           const SW_ReleaseDepthFormula* formula, const SW_MeshCore* mesh)
{
  if (formula) return formula->Depth(p, n);
  if (!mesh) return 0;
  AK_Vec3 q = p;
  // Outside the release-depth mesh there is no snow (not the height the point came with).
  return mesh->HeightAt(q, -1) >= 0 ? q.z : 0.0;
}

bool SW_InitialCondition::DepthSourceMissing()
{
  return !_formula && !_releaseDhmPath.IsEmpty() && !ReleaseDepthMesh();
}

double SW_InitialCondition::ReleaseDepthAt(const AK_Vec3& p, const AK_Vec3& n)
{
  if (!HasDepthSource() || DepthSourceMissing()) return _depth;
  std::shared_ptr<SW_ReleaseDepthFormula> formula = _formula;
  return VaryingDepthAt(p, n, formula.get(), ReleaseDepthMesh());
}

void SW_InitialCondition::UpdateMass()
{
  UpdateTrueArea();
  // Without its release-depth mesh the area keeps the depth last found from it, instead of
  // silently losing its snow.
  if (DepthSourceMissing())
    AK_MESSAGE(AK_String("WARNING:release depth mesh '") + _releaseDhmPath + "' of release area " + Id() +
               " is missing, depth " + AK_FormatDouble(_depth) + " kept");
  else if (HasDepthSource()) {
    const double before = _depth;
    _depth = 0;
    std::shared_ptr<SW_ReleaseDepthFormula> formula = _formula;
    const SW_MeshCore* mesh = formula ? nullptr : ReleaseDepthMesh();
    if (SW_Mesh* baseMesh = BaseMesh()) {
      const SW_MeshCore* base = &baseMesh->Core();
      double areaSum = 0, depthSum = 0;
      for (int32_t c = 0; c < base->NumCells(); ++c) {
        AK_Vec3 centre = base->CellCentre(c);
        if (!Contains(centre.x, centre.y)) continue;
        AK_Vec3 a = base->CellAreaVector(c);
        double area = a.Length();
        if (!(area > 0)) continue;
        areaSum += area;
        depthSum += VaryingDepthAt(centre, a * (1.0 / area), formula.get(), mesh) * area;
      }
      if (areaSum > 0) _depth = depthSum / areaSum;
    }
    // A formula that failed (and said so) leaves the depth it had, not a NaN to save.
    if (!std::isfinite(_depth)) _depth = before;
  }
  AK_String& annotations = Line().text;
  AK_String::SetKeyValue(annotations, "name", Id(), '=', ';');
  AK_String::SetKeyValue(annotations, "d0", AK_FormatDouble(_depth), '=', ';');
  AK_String::SetKeyValue(annotations, "rho", AK_FormatDouble(_density), '=', ';');
}

AK_String SW_InitialCondition::MassText()
{
  double area = static_cast<float>(AK_ThroughText(std::fabs(TrueArea()), 15));
  return AK_FormatDouble(area * _depth * _density);
}

void SW_InitialCondition::CopyPolygonOf(const char* path) { CopyCoordsOf(path); }

void SW_InitialCondition::TakeRecord(const SW_RelRecord& record)
{
  _depth = record.depth;
  _density = record.density;
  SW_TakeOutline(*this, record.points);
}

void SW_InitialCondition::TakeImportedValues(double dictionaryDepth)
{
  if (dictionaryDepth >= 0) _depth = dictionaryDepth;
  SW_ReleaseValuesFromAnnotations(Annotations(), _depth, _density, _enthalpy);
}

// --- the container ---

SW_InitialConditions::SW_InitialConditions(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_InitialConditions::DeclareAttributes(AK_AttributeTableOf<SW_InitialConditions>& t)
{
  t.Command("LoadRelFile", &SW_InitialConditions::LoadRelFile);
  t.Command("Import", &SW_InitialConditions::Import);
  t.Command("Create", &SW_InitialConditions::NewReleaseArea);
  t.Command("Clone", [](SW_InitialConditions& c, const char* id) { SW_CloneArea<SW_InitialCondition>(c, id); });
}

AK_Object* SW_InitialConditions::CreateComponent(const char* id, const char* typeName)
{
  if (typeName && std::strcmp(typeName, "ReleaseArea") == 0) return new SW_InitialCondition(id, this);
  return nullptr;
}

SW_InitialCondition* SW_InitialConditions::NewReleaseArea(const char* id)
{
  auto* area = new SW_InitialCondition(id, this);
  AddComponent(area);
  return area;
}

void SW_InitialConditions::LoadRelFile(const char* path)
{
  SW_LoadAreaFile<SW_InitialCondition, SW_RelRecord>(*this, path, SW_FileFormat::Rel, SW_ReadRelRecord);
}

SW_InitialCondition* SW_InitialConditions::AreaAt(double x, double y)
{
  return SW_LastAreaContaining<SW_InitialCondition>(*this, x, y);
}

void SW_InitialConditions::Import(const char* path)
{
  SW_ImportAreas<SW_InitialCondition>(*this, path, SW_FileFormat::Rel, SW_ReadRelRecord,
                                      [](SW_InitialCondition& area, double depth) { area.TakeImportedValues(depth); });
}
