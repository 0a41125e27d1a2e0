// SW_Meshes: the terrain containers of the project, "DHMs" (height models and the meshes made
// from them) and "ReleaseDHMs" (release-depth rasters). It imports terrain files as meshes and
// brings the release and resistance areas that lie beside a terrain file into the project, makes
// the simulation mesh of a terrain (a regular grid of the chosen cell size draped over it, whose
// name ends in "_simulation", which is how simulations find it), and collects a selection of
// ESRI ASCII grid tiles into one mesh.
#pragma once

#include "AK_Container.h"

class SW_Meshes : public AK_Class<SW_Meshes, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Meshes";
  SW_Meshes(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Meshes>& t);

  // A mesh ("DHM") of that identifier, not yet added; none for any other type.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;

  // The tile selection: the list (tile files, each followed by "%AK_SEP%"), and from the
  // headers of its tiles the bounds, the cell size and whether all lie on one common grid.
  void SetTiles(const char* list);
  void TileSelect(const char* path);
  void TileDeselect(const char* path);
  const AK_String& Tiles() const { return _tiles; }
  bool TilesConsistent() const { return _tilesConsistent != 0; }

private:
  int32_t _autoCreateSimulationMesh = 0;
  int32_t _numPtRedRasterImport = 1;
  AK_String _tiles;
  double _tilesXmin[2] = {0, 0};
  double _tilesXmax[2] = {0, 0};
  double _tilesDs = 0;
  int32_t _tilesConsistent = 0;
  double _simulationDefaultCellSize = 5;
};

// Whether a grid origin lies on the grid of another: the offset is a whole multiple of the
// cell size, within 0.001, on either side of the multiple.
bool SW_OnCommonGrid(double offset, double cellSize);
