#include "SW_FileFormats.h"

#include <cstring>

#include "SW_LineFiles.h"
#include "SW_MeshFiles.h"

namespace {

// ---- terrain ------------------------------------------------------------------------------

bool ReadXyzTerrain(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions&, AK_String& error)
{
  return SW_ReadXyz(mesh, path, error);
}

bool ReadTbpTerrain(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions&, AK_String& error)
{
  return SW_ReadTbp(mesh, path, error);
}

bool ReadGridTerrain(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions& options,
                     AK_String& error)
{
  return SW_ReadAsciiGrid(mesh, path, options.halvings, options.fillNoData, error);
}

// The lines of the file as break lines of a triangulation that keeps the mesh's vertices
// (keep 1) or has only the lines' points (keep 0).
bool TriangulateFileLines(SW_MeshCore& mesh, const char* path, const SW_FileFormatEntry& format,
                          int keep, AK_String& error)
{
  AK_Array<AK_NamedPolyline> lines;
  AK_Array<AK_String> names;
  if (!format.readLines(path, lines, names)) {
    error = AK_String("cannot open file '") + path + "'";
    return false;
  }
  return mesh.TriangulateWithBreakLines(lines, keep, error);
}

bool ReadNxyzTerrain(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions&, AK_String& error)
{
  return TriangulateFileLines(mesh, path, SW_FileFormatEntryOf(SW_FileFormat::Nxyz), 0, error);
}

bool ReadDxfTerrain(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions&, AK_String& error)
{
  return SW_ReadDxfPoints(mesh, path, error) &&
         TriangulateFileLines(mesh, path, SW_FileFormatEntryOf(SW_FileFormat::Dxf), 1, error);
}

// ---- lines --------------------------------------------------------------------------------

bool ReadNxyzLines(const char* path, AK_Array<AK_NamedPolyline>& list, AK_Array<AK_String>& names)
{
  const int32_t before = list.Count();
  if (!SW_ReadNxyzFile(path, list)) return false;
  for (int32_t i = before; i < list.Count(); ++i) names.Append(AK_String());
  return true;
}

bool ReadNextNxyzLine(std::istream& in, AK_NamedPolyline& record, AK_String&)
{
  return SW_ReadNxyzPolyline(record, in);
}

bool ReadNextDxfLine(std::istream& in, AK_NamedPolyline& record, AK_String& name)
{
  return SW_ReadDxfPolyline(record.points, in, name);
}

bool WriteNextNxyzLine(std::ostream& out, const AK_NamedPolyline& record, const char*, int precision, int)
{
  return SW_WriteNxyzPolyline(record, out, precision);
}

bool WriteNextDxfLine(std::ostream& out, const AK_NamedPolyline& record, const char* name, int precision,
                      int closed)
{
  return SW_WriteDxfPolyline(record, name, out, precision, closed);
}

// An "nxyz" file is its lines and nothing around them.
void NoFrame(std::ostream&) {}

// ---- the table ----------------------------------------------------------------------------

using F = SW_FileFormat;

const SW_FileFormatEntry kFormats[] = {
    {.format = F::None, .extensions = {}, .yields = 0, .flat = false},
    {.format = F::Xy, .extensions = {"xy"}, .yields = SW_YieldsLine, .flat = true,
     .readLine = SW_ReadXyFile, .writeLine = SW_WriteXyFile},
    {.format = F::Xyz, .extensions = {"xyz"}, .yields = SW_YieldsTerrain | SW_YieldsLine, .flat = false,
     .readTerrain = ReadXyzTerrain, .writeTerrain = SW_ExportPointList,
     .readLine = SW_ReadXyzFile, .writeLine = SW_WriteXyzFile},
    {.format = F::Nxyz, .extensions = {"nxyz"}, .yields = SW_YieldsTerrain | SW_YieldsLines, .flat = false,
     .readTerrain = ReadNxyzTerrain, .readLines = ReadNxyzLines, .readNextLine = ReadNextNxyzLine,
     .writeNextLine = WriteNextNxyzLine, .beginLines = NoFrame, .endLines = NoFrame},
    {.format = F::Dxf, .extensions = {"dxf", "DXF"}, .yields = SW_YieldsTerrain | SW_YieldsLines, .flat = false,
     .readTerrain = ReadDxfTerrain, .readLines = SW_ReadDxfFile, .readNextLine = ReadNextDxfLine,
     .writeNextLine = WriteNextDxfLine, .beginLines = SW_WriteDxfBegin, .endLines = SW_WriteDxfEnd},
    {.format = F::Ano, .extensions = {"ano"}, .yields = SW_YieldsLines, .flat = true},
    {.format = F::AsciiGrid, .extensions = {"e00", "E00", "asc", "ASC", "txt", "TXT"},
     .yields = SW_YieldsTerrain, .flat = false, .readTerrain = ReadGridTerrain,
     .writeTerrain = SW_ExportAsciiGrid},
    {.format = F::Tbp, .extensions = {"tbp"}, .yields = SW_YieldsTerrain, .flat = false,
     .readTerrain = ReadTbpTerrain},
    {.format = F::Rel, .extensions = {"rel"}, .yields = SW_YieldsAreas, .flat = true},
    {.format = F::Res, .extensions = {"res"}, .yields = SW_YieldsAreas, .flat = true},
};

}  // namespace

const SW_FileFormatEntry& SW_FileFormatEntryOf(SW_FileFormat format)
{
  for (const SW_FileFormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats[0];
}

const SW_FileFormatEntry& SW_FileFormatOf(const char* path)
{
  const AK_String ext = AK_String(path ? path : "").GetExtension();
  if (ext.IsEmpty()) return kFormats[0];
  for (const SW_FileFormatEntry& entry : kFormats)
    for (const char* e : entry.extensions)
      if (e && std::strcmp(e, ext) == 0) return entry;
  return kFormats[0];
}

AK_String SW_FileBeside(const AK_String& stem, SW_FileFormat format)
{
  const char* ext = SW_FileFormatEntryOf(format).extensions[0];
  return stem + "." + (ext ? ext : "");
}
