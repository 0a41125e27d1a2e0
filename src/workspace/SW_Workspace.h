// SW_Workspace: the project root "Project" below the controller "Viewer". It owns one
// container for every kind of project data, in the order of the console menu, of saving and of
// loading: terrain meshes, release rasters, polygons, polylines, release, entrainment and
// resistance areas, wall and source lines, simulations and labels. It makes user objects and
// soft-sphere test benches on command and binds the enthalpy functions of the snow model into
// the interpreter, so that every script can call them.
//
// The containers are built by type name through the class registry: a library registers its
// classes before the first workspace is made, and a container whose class is not registered is
// not built.
#pragma once

#include "AK_ClassHelper.h"

// The workspace's containers in their order: identifier and registered type name.
struct SW_WorkspaceChild {
  const char* id;
  const char* typeName;
};
extern const SW_WorkspaceChild SW_WorkspaceChildren[11];

class SW_Workspace : public AK_Class<SW_Workspace> {
public:
  static constexpr const char* kClassName = "SW_Workspace";
  SW_Workspace(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Workspace>& t);

  // Make an object of that identifier and add it as the last component; the identifier is
  // made unique by the tree. CreateSoftSphereSim2D makes none (and answers none) while its
  // class is not registered.
  AK_Object* CreateUserObject(const char* id);
  AK_Object* CreateSoftSphereSim2D(const char* id);
};

// Declares the enthalpy functions of the snow model in the interpreter's current namespace and
// binds them to their natives.
void SW_BindEnthalpyFunctions();
