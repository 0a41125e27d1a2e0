// SW_Meshes: the terrain containers of the project, "DHMs" (height models and the meshes made
// from them) and "ReleaseDHMs" (release-depth rasters). It imports terrain files as meshes and
// brings the release and resistance areas that lie beside a terrain file into the project, makes
// the simulation mesh of a terrain (a regular grid of the chosen cell size draped over it, whose
// name ends in "_simulation", which is how simulations find it), and collects a selection of
// ESRI ASCII grid tiles into one mesh.
#pragma once

#include "AK_Container.h"

class SW_Mesh;

class SW_Meshes : public AK_Class<SW_Meshes, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_Meshes";
  SW_Meshes(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_Meshes>& t);

  // A mesh ("DHM") of that identifier, not yet added; none for any other type.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;

  // A new empty mesh of that identifier (made unique), added as the last component.
  SW_Mesh* CreateMesh(const char* id);
  // The simulation mesh of the mesh of that identifier: named like it with "_simulation"
  // appended, a grid of "SimulationDefaultCellSize" over its box projected onto it, smoothed
  // once for every whole multiple of that cell size in the terrain's resolution, not drawn.
  // None, with an error text, when the container holds no such mesh.
  SW_Mesh* CreateSimulationMesh(const char* id);
  // Reads the terrain file as a new mesh named after the file (the mesh stays, without cells,
  // when the file cannot be read), loads the ".rel" and ".res" files of the same name into the
  // project's release and resistance areas, and makes the imported terrain a simulation mesh:
  // a regular grid of the simulation cell size is renamed to one, anything else gets one when
  // "AutoCreateSimulationMesh" is on. `halvings` halves a grid's resolution that many times.
  SW_Mesh* Import(const char* path, int halvings);
  // After a mesh of the container read a terrain file: an ".ano" file of the same name
  // becomes a polyline set of the project's "Polylines", named after the file and laid onto
  // the mesh.
  void ImportBesideMesh(SW_Mesh& mesh, const char* path);
  // Builds one mesh of the selected tiles and clears the selection; none, with an error text,
  // while the selection is not consistent.
  SW_Mesh* TilesLoad();

  // The tile selection: the list (tile files, each followed by "%AK_SEP%"), and from the
  // headers of its tiles the bounds, the cell size and whether all lie on one common grid.
  void SetTiles(const char* list);
  void TileSelect(const char* path);
  void TileDeselect(const char* path);
  const AK_String& Tiles() const { return _tiles; }
  bool TilesConsistent() const { return _tilesConsistent != 0; }

private:
  // The areas file, when it exists, loaded by that command of the parent's component.
  void LoadAreasBeside(const AK_String& file, const char* container, const char* command);

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
