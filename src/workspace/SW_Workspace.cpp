#include "SW_Workspace.h"

#include "AK_ClassRegistry.h"
#include "AK_Colorbar.h"
#include "AK_UserObj.h"
#include "SW_Enthalpy.h"
#include "ast_sci.h"

const SW_WorkspaceChild SW_WorkspaceChildren[11] = {
    {"DHMs", "Meshes"},
    {"ReleaseDHMs", "Meshes"},
    {"Polygons", "Polygons"},
    {"Polylines", "Polylines"},
    {"ReleaseAreas", "ReleaseAreas"},
    {"EntrainmentAreas", "ReleaseAreas"},
    {"ResistanceAreas", "ResistanceAreas"},
    {"WallLines", "WallLines"},
    {"SourceLines", "SourceLines"},
    {"Simulations", "Simulations"},
    {"Labels", "Labels"},
};

namespace {

// Scripts hand every argument over by address.
double ScriptTemperatureFromEnthalpy(double* h) { return TemperatureFromEnthalpy(*h); }
double ScriptWaterMassFractionFromEnthalpy(double* h) { return WaterMassFractionFromEnthalpy(*h); }
double ScriptEnthalpyFromTemperatureAndWaterMassFraction(double* T, double* w)
{
  return EnthalpyFromTemperatureAndWaterMassFraction(*T, *w);
}

void AddChild(AK_Object& workspace, const SW_WorkspaceChild& child)
{
  if (AK_Object* container = AK_CreateObjectOfType(child.typeName, child.id, &workspace)) {
    workspace.AddComponent(container);
    container->FixId();
  }
}

}  // namespace

SW_Workspace::SW_Workspace(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  AddChild(*this, SW_WorkspaceChildren[0]);
  AddChild(*this, SW_WorkspaceChildren[1]);
  // Release rasters get no simulation mesh of their own, whatever the containers' defaults say.
  if (AK_Object* releaseRasters = GetComponent("ReleaseDHMs"))
    releaseRasters->Set("AutoCreateSimulationMesh", "0");
  for (int i = 2; i < 11; ++i) AddChild(*this, SW_WorkspaceChildren[i]);
  AK_Colorbar::MinColorToBackgroundFadingRange = 0.05f;
  SW_BindEnthalpyFunctions();
  RunClassDefaults();
}

void SW_Workspace::DeclareAttributes(AK_AttributeTableOf<SW_Workspace>& t)
{
  using W = SW_Workspace;
  t.Command("CreateUserObject", [](W& w, const char* id) { w.CreateUserObject(id); });
  t.Command("CreateSoftSphereSim2D", [](W& w, const char* id) {
    if (!w.CreateSoftSphereSim2D(id))
      AK_ErrorText = "the soft-sphere test bench is not part of this program";
  });
}

AK_Object* SW_Workspace::CreateUserObject(const char* id)
{
  AK_Object* object = new AK_UserObj(id ? id : "", this);
  AddComponent(object);
  return object;
}

AK_Object* SW_Workspace::CreateSoftSphereSim2D(const char* id)
{
  AK_Object* object = AK_CreateObjectOfType("SoftSphereSim2D", id ? id : "", this);
  if (object) AddComponent(object);
  return object;
}

void SW_BindEnthalpyFunctions()
{
  ast_sci_parse_string(
      "double TemperatureFromEnthalpy(double h);double WaterMassFractionFromEnthalpy(double h);"
      "double EnthalpyFromTemperatureAndWaterMassFraction(double T, double w);");
  ast_sci_bind_extern("TemperatureFromEnthalpy", ScriptTemperatureFromEnthalpy);
  ast_sci_bind_extern("WaterMassFractionFromEnthalpy", ScriptWaterMassFractionFromEnthalpy);
  ast_sci_bind_extern("EnthalpyFromTemperatureAndWaterMassFraction",
                      ScriptEnthalpyFromTemperatureAndWaterMassFraction);
}
