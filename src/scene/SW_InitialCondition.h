// SW_InitialCondition: a release or entrainment area, a polygon on the terrain that holds
// snow of a depth, a density and a specific enthalpy. SW_InitialConditions: the container
// of such areas (the project's "ReleaseAreas" and "EntrainmentAreas"), which reads them
// from ".rel" files and line files and clones them.
//
// The depth of an area is one number, `Depth`, or it varies over the area. `RelDepFuncName`
// selects the source:
//   "const"                 `Depth`
//   "from_ReleaseDHM_" + m  the height of the mesh m in the project's "ReleaseDHMs" (0
//                           outside that mesh); the area keeps the mesh's path and finds
//                           the mesh again whenever it needs it, so deleting or unloading
//                           the mesh is safe
//   a formula name n        the function "depth" of the script n.cint in a "release_depth"
//                           folder of the attributes directories (SW_ReleaseDepthFormula),
//                           compiled for this area alone
// With a varying depth, `Depth` is the area-weighted mean over the cells of the base mesh
// whose centres the polygon contains (UpdateMass).
//
// A run reads, per cell centre inside the area, ReleaseDepthAt, and the area's Density,
// Enthalpy and Mass; where areas overlap the later one in the container wins.
#pragma once

#include <memory>

#include "AK_Container.h"
#include "SW_AreaFiles.h"
#include "SW_MeshCore.h"
#include "SW_Polygon.h"
#include "SW_ReleaseDepthFormula.h"

class SW_InitialCondition : public AK_Class<SW_InitialCondition, SW_Polygon> {
public:
  static constexpr const char* kClassName = "SW_InitialCondition";
  SW_InitialCondition(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_InitialCondition>& t);

  // The depth at position p with unit terrain normal n: the formula's (NaN when its script
  // fails at run time), the release-depth mesh's height (0 outside it), or `Depth`.
  double ReleaseDepthAt(const AK_Vec3& p, const AK_Vec3& n);
  // Recomputes the true area and, with a formula or release-depth mesh in force, `Depth` as
  // the area-weighted mean depth; writes "name", "d0" and "rho" into the annotations.
  void UpdateMass();
  // True area times depth times density, by AK_FormatDouble (the area rounded to single
  // precision).
  AK_String MassText();
  void SetRelDepFuncName(const char* value);
  AK_String RelDepFuncNameOpts();
  AK_String GetRelDepFuncPar();
  void SetRelDepFuncPar(const char* value);
  // Copies the points and the annotations of the object at the path; nothing when none.
  void CopyPolygonOf(const char* path);

  double Depth() const { return _depth; }
  double Density() const { return _density; }
  double Enthalpy() const { return _enthalpy; }
  const AK_String& RelDepFuncName() const { return _relDepFuncName; }
  // The release-depth mesh chosen, found from its path; none when no mesh is chosen or it is gone.
  AK_Object* ReleaseDepthObject();

  // Takes depth, density and outline of a ".rel" record.
  void TakeRecord(const SW_RelRecord& record);
  // Takes the values of an imported line: the depth of its DXF dictionary (when not
  // negative), then those of its annotations (SW_ReleaseValuesFromAnnotations).
  void TakeImportedValues(double dictionaryDepth);

private:
  bool HasDepthSource() const { return _formula || !_releaseDhmPath.IsEmpty(); }
  // A release-depth mesh is chosen but cannot be found (deleted, not loaded).
  bool DepthSourceMissing();
  // The release-depth mesh, found from its path; none when it is gone.
  const SW_MeshCore* ReleaseDepthMesh();
  static double VaryingDepthAt(const AK_Vec3& p, const AK_Vec3& n, const SW_ReleaseDepthFormula* formula,
                               const SW_MeshCore* mesh);
  void ClearDepthSource();
  void SelectReleaseDepthMesh(const char* value);
  void SelectFormula(const char* name);

  double _depth = 1.0;
  double _density = 125.0;
  double _enthalpy = -20500.0;
  AK_String _relDepFuncName = "const";
  // Shared with the calls that run it: a formula script that selects another source for its
  // own area (through "set") must not free the formula under its running call.
  std::shared_ptr<SW_ReleaseDepthFormula> _formula;
  AK_String _releaseDhmPath;  // "" while no release-depth mesh is selected
  AK_ObjectRef _releaseDhm;   // the mesh last found at that path
};

class SW_InitialConditions : public AK_Class<SW_InitialConditions, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_InitialConditions";
  SW_InitialConditions(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_InitialConditions>& t);

  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  SW_InitialCondition* NewReleaseArea(const char* id);
  // Reads the areas of a ".rel" file, named after the file with "_0001", "_0002", ...
  // An unopenable file leaves the error text; a malformed record ends the file with a
  // warning that names it, and the areas before it stay.
  void LoadRelFile(const char* path);
  // A ".rel" file, or a line file whose lines become areas.
  void Import(const char* path);
  // The area whose values a cell with this centre gets (the last that contains it).
  SW_InitialCondition* AreaAt(double x, double y);
};
