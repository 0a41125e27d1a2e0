#include "SW_Meshes.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "SW_FileFormats.h"
#include "SW_Mesh.h"

namespace {

const char* const kSep = "%AK_SEP%";

AK_Array<AK_String> SplitList(const AK_String& list)
{
  AK_Array<AK_String> entries;
  list.Split(kSep, entries);
  return entries;
}

// The path without its extension: cut at the last "." when it stands in the file name.
AK_String WithoutExtension(const char* path)
{
  AK_String stem(path);
  if (!AK_String(path).GetExtension().IsEmpty()) stem.CutExtension();
  return stem;
}

// The file name of the path up to its last ".".
AK_String MeshIdOfFile(const char* path)
{
  AK_String name = AK_String(path).BaseName();
  return WithoutExtension(name);
}

// The first error text of a series of steps, each of which clears the error text when it
// begins.
class FirstError {
public:
  void Take()
  {
    if (_text.IsEmpty()) _text = AK_ErrorText;
  }
  ~FirstError()
  {
    Take();
    AK_ErrorText = _text;
  }

private:
  AK_String _text;
};

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
  t.Int("AutoCreateSimulationMesh", &M::_autoCreateSimulationMesh);
  t.Int("NumPtRedRasterImport", &M::_numPtRedRasterImport);
  t.Double("SimulationDefaultCellSize", &M::_simulationDefaultCellSize);
  t.Attribute("Tiles", [](M& m) { return m._tiles; }, &M::SetTiles);
  t.Answer("TilesXmin", [](M& m) { return AK_String(m._tilesXmin, 2); });
  t.Answer("TilesXmax", [](M& m) { return AK_String(m._tilesXmax, 2); });
  t.Answer("TilesDs", [](M& m) { return AK_FormatDouble(m._tilesDs); });
  t.Answer("TilesConsistent", [](M& m) { return AK_String(m._tilesConsistent); });
  t.Vis("TilesLoadVis", [](M& m) { return m._tilesConsistent ? "w" : "r"; });
  t.Command("TileSelect", &M::TileSelect);
  t.Command("TileDeselect", &M::TileDeselect);
  t.Command("TilesClear", [](M& m, const char*) { m.SetTiles(""); });
  t.Command("TilesLoad", [](M& m, const char*) { m.TilesLoad(); });
  t.Command("CreateMesh", [](M& m, const char* id) { m.CreateMesh(id); });
  t.Command("CreateSimulationMesh", [](M& m, const char* id) { m.CreateSimulationMesh(id); });
  t.Command("Import", [](M& m, const char* path) { m.Import(path, 0); });
  t.Command("ImportRasterReduced",
            [](M& m, const char* path) { m.Import(path, m._numPtRedRasterImport); });
}

AK_Object* SW_Meshes::CreateComponent(const char* id, const char* typeName)
{
  if (!typeName || std::string_view(typeName) != "DHM") return nullptr;
  return new SW_Mesh(id, this);
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
    if (!SW_Mesh::ReadAsciiGridHeader(tiles[k], lower, upper, ds)) {
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

SW_Mesh* SW_Meshes::CreateMesh(const char* id)
{
  auto* mesh = new SW_Mesh(id ? id : "", this);
  AddComponent(mesh);
  return mesh;
}

SW_Mesh* SW_Meshes::CreateSimulationMesh(const char* id)
{
  AK_String baseId(id ? id : "");
  auto* base = dynamic_cast<SW_Mesh*>(GetComponent(baseId));
  if (!base) {
    AK_ErrorText = GetAbsolutePath() + ": there is no mesh '" + baseId + "' to make a simulation mesh of";
    return nullptr;
  }
  double cellSize = _simulationDefaultCellSize;
  if (!(cellSize > 0)) {
    AK_ErrorText = GetAbsolutePath() + ": SimulationDefaultCellSize must be positive";
    return nullptr;
  }
  if (const AK_String refusal = VacatedNameRefusal(baseId + "_simulation"); !refusal.IsEmpty()) {
    AK_ErrorText = refusal;
    return nullptr;
  }
  double resolution = AK_Atof(base->Get("Resolution"));
  SW_Mesh* mesh = CreateMesh(baseId + "_simulation");
  mesh->NumNoDataValueInterpolationIterations = 50;
  mesh->BaseMesh = AK_String("../") + baseId;
  mesh->Dx = cellSize;
  mesh->CoverWithCartesianGrid("");
  if (mesh->NumCells() == 0) {
    // A cell size the base mesh's box cannot be gridded with: no mesh is left behind for a
    // simulation to bind.
    const AK_String reason = AK_ErrorText;
    DeleteComponent(mesh->Id());
    AK_ErrorText = GetAbsolutePath() + ": no simulation mesh of '" + baseId + "' with cell size " +
                   AK_String::Format("%g", cellSize) + (reason.IsEmpty() ? AK_String() : ": " + reason);
    return nullptr;
  }
  AK_MESSAGE(AK_String::Format("resolution of base mesh is %g", resolution));
  // The coarser the terrain is than the grid, the more the grid is smoothed.
  double passes = resolution / cellSize;
  mesh->SmootherIterations = passes >= 0 && passes < INT_MAX ? static_cast<int32_t>(passes) : 0;
  mesh->Smooth(mesh->SmootherIterations);
  mesh->SetActive(0);
  return mesh;
}

SW_Mesh* SW_Meshes::Import(const char* path, int halvings)
{
  const AK_String asked = MeshIdOfFile(path);
  if (const AK_String refusal = VacatedNameRefusal(asked); !refusal.IsEmpty()) {
    AK_ErrorText = refusal;
    return nullptr;
  }
  FirstError error;
  SW_Mesh* mesh = CreateMesh(asked);
  mesh->SayNameGiven(asked);
  mesh->Import(path, halvings);
  error.Take();
  // The name of its simulation mesh is refused before anything beside it is read: the import
  // leaves nothing then.
  const bool simulationGrid =
      mesh->NumCells() > 0 && mesh->Core()._cartesian && std::fabs(mesh->Dx - _simulationDefaultCellSize) < 0.001;
  if (mesh->NumCells() > 0 && (simulationGrid || _autoCreateSimulationMesh))
    if (const AK_String refusal = VacatedNameRefusal(mesh->Id() + "_simulation"); !refusal.IsEmpty()) {
      AK_Object::Destroy(mesh);
      AK_ErrorText = refusal;
      return nullptr;
    }
  AK_String stem = WithoutExtension(path);
  LoadAreasBeside(SW_FileBeside(stem, SW_FileFormat::Rel), "ReleaseAreas", "LoadRelFile");
  error.Take();
  LoadAreasBeside(SW_FileBeside(stem, SW_FileFormat::Res), "ResistanceAreas", "LoadResFile");
  error.Take();
  if (mesh->NumCells() > 0) {
    if (simulationGrid) {
      // The grid already is a simulation mesh.
      mesh->Set("Id", mesh->Id() + "_simulation");
    } else if (_autoCreateSimulationMesh) {
      CreateSimulationMesh(mesh->Id());
    }
    error.Take();
  }
  GetRoot()->Set("Autofit", "");
  return mesh;
}

void SW_Meshes::ImportBesideMesh(SW_Mesh& mesh, const char* path)
{
  const AK_String ano = SW_FileBeside(WithoutExtension(path), SW_FileFormat::Ano);
  AK_Object* polylines = Parent() ? Parent()->GetComponent("Polylines") : nullptr;
  if (!polylines || !AK_FileExists(ano)) return;
  polylines->Set("ImportSet", ano);
  AK_Object* set = polylines->GetComponent(MeshIdOfFile(path));
  if (set && set->IsA("PolylineSet")) set->Set("ProjectOnto", mesh.GetAbsolutePath());
}

void SW_Meshes::LoadAreasBeside(const AK_String& file, const char* container, const char* command)
{
  if (!AK_FileExists(file) || !Parent()) return;
  if (AK_Object* areas = Parent()->GetComponent(container)) areas->Set(command, file);
}

SW_Mesh* SW_Meshes::TilesLoad()
{
  if (!_tilesConsistent) {
    AK_ErrorText = GetAbsolutePath() +
                   (_tiles.IsEmpty() ? AK_String(": no tiles are selected")
                                     : AK_String(": the selected tiles do not lie on one common grid"));
    return nullptr;
  }
  bool simulationGrid = std::fabs(_tilesDs - _simulationDefaultCellSize) < 0.001;
  FirstError error;
  SW_Mesh* mesh = CreateMesh(simulationGrid ? "combined_simulation" : "combined");
  mesh->ReadGridTiles(_tiles);
  error.Take();
  SetTiles("");
  if (!simulationGrid && _autoCreateSimulationMesh) CreateSimulationMesh(mesh->Id());
  error.Take();
  GetRoot()->Set("Autofit", "");
  return mesh;
}
