#include "SW_Meshes.h"

#include <cmath>

#include "AK_ClassRegistry.h"
#include "SW_MeshFiles.h"

namespace {

const char* const kSep = "%AK_SEP%";

AK_Array<AK_String> SplitList(const AK_String& list)
{
  AK_Array<AK_String> entries;
  list.Split(kSep, entries);
  return entries;
}

}  // namespace

bool SW_OnCommonGrid(double offset, double cellSize)
{
  return std::fabs(std::remainder(offset, cellSize)) < 0.001;
}

SW_Meshes::SW_Meshes(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_Meshes::DeclareAttributes(AK_AttributeTableOf<SW_Meshes>& t)
{
  using M = SW_Meshes;
  t.Int("AutoCreateSimulationMesh", &M::_autoCreateSimulationMesh).Loose();
  t.Int("NumPtRedRasterImport", &M::_numPtRedRasterImport).Loose();
  t.Double("SimulationDefaultCellSize", &M::_simulationDefaultCellSize).Loose();
  t.Attribute("Tiles", [](M& m) { return m._tiles; }, &M::SetTiles);
  t.Answer("TilesXmin", [](M& m) { return AK_String(m._tilesXmin, 2); });
  t.Answer("TilesXmax", [](M& m) { return AK_String(m._tilesXmax, 2); });
  t.Answer("TilesDs", [](M& m) { return AK_String::Format("%.15g", m._tilesDs); });
  t.Answer("TilesConsistent", [](M& m) { return AK_String(m._tilesConsistent); });
  t.Vis("TilesLoadVis", [](M& m) { return m._tilesConsistent ? "w" : "r"; });
  t.Command("TileSelect", &M::TileSelect);
  t.Command("TileDeselect", &M::TileDeselect);
  t.Command("TilesClear", [](M& m, const char*) { m.SetTiles(""); });
}

AK_Object* SW_Meshes::CreateComponent(const char* id, const char* typeName)
{
  if (!typeName || std::string_view(typeName) != "DHM") return nullptr;
  return AK_CreateObjectOfType("DHM", id, this);
}

void SW_Meshes::SetTiles(const char* list)
{
  _tiles = list ? list : "";
  _tilesXmin[0] = _tilesXmin[1] = 1e30;
  _tilesXmax[0] = _tilesXmax[1] = -1e30;
  _tilesDs = 0;
  _tilesConsistent = 0;
  AK_Array<AK_String> tiles = SplitList(_tiles);
  for (int k = 0; k < tiles.Size(); ++k) {
    double lower[2], upper[2], ds;
    if (!SW_ReadAsciiGridHeader(tiles[k], lower, upper, ds)) {
      _tilesConsistent = 0;
      continue;
    }
    if (k == 0) {
      _tilesDs = ds;
      _tilesConsistent = 1;
    } else if (!(std::fabs(_tilesDs - ds) < 1e-6 && SW_OnCommonGrid(_tilesXmin[0] - lower[0], ds) &&
                 SW_OnCommonGrid(_tilesXmin[1] - lower[1], ds))) {
      if (ds < _tilesDs) _tilesDs = ds;
      _tilesConsistent = 0;
    }
    for (int i = 0; i < 2; ++i) {
      _tilesXmin[i] = std::fmin(_tilesXmin[i], lower[i]);
      _tilesXmax[i] = std::fmax(_tilesXmax[i], upper[i]);
    }
  }
}

void SW_Meshes::TileSelect(const char* path)
{
  AK_Array<AK_String> tiles = SplitList(_tiles);
  for (int i = 0; i < tiles.Size(); ++i)
    if (tiles[i] == path) return;
  tiles.Append(AK_String(path));
  SetTiles(AK_String(tiles, kSep));
}

void SW_Meshes::TileDeselect(const char* path)
{
  AK_Array<AK_String> tiles = SplitList(_tiles);
  AK_Array<AK_String> kept;
  bool found = false;
  for (int i = 0; i < tiles.Size(); ++i) {
    if (!found && tiles[i] == path) found = true;
    else kept.Append(tiles[i]);
  }
  if (found) SetTiles(AK_String(kept, kSep));
}
