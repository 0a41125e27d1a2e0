// The formats of terrain, line and area files, chosen by a file's extension. One table says
// which extensions choose a format, what a file of it yields, and which readers and writers
// serve it; every import and export that decides by the extension asks here, so a format is
// added (or an extension given to one) in one line.
//
// Extensions are compared exactly: "dxf" and "DXF" choose DXF, "Dxf" chooses nothing.
//
//   format     extensions                      yields          readers and writers
//   xy         xy                              line (flat)     SW_ReadXyFile, SW_WriteXyFile
//   xyz        xyz                             terrain, line   SW_ReadXyz; SW_ExportMesh's
//                                                              point list; SW_ReadXyzFile,
//                                                              SW_WriteXyzFile
//   nxyz       nxyz                            terrain, lines  SW_ReadNxyzPolyline,
//                                                              SW_WriteNxyzPolyline,
//                                                              SW_ReadNxyzFile
//   dxf        dxf DXF                         terrain, lines  SW_ReadDxfPoints,
//                                                              SW_ReadDxfPolyline,
//                                                              SW_WriteDxfPolyline,
//                                                              SW_ReadDxfFile
//   ano        ano                             lines (flat)    SW_ReadAnoRecord
//   ascii grid e00 E00 asc ASC txt TXT         terrain         SW_ReadAsciiGrid,
//                                                              SW_ExportMesh's grid
//   tbp        tbp                             terrain         SW_ReadTbp
//   rel        rel                             areas (flat)    SW_ReadRelRecord
//   res        res                             areas (flat)    SW_ReadResRecord
//
// A terrain read from "nxyz" is the Delaunay triangulation of its lines' points with the
// lines as break lines; from "dxf" that of the POINT entities with the polylines inserted.
#pragma once

#include <istream>
#include <ostream>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

enum class SW_FileFormat { None, Xy, Xyz, Nxyz, Dxf, Ano, AsciiGrid, Tbp, Rel, Res };

// What a file of a format can become; a format may yield more than one thing (an "xyz"
// file is the points of a terrain or one line), and the caller picks what it needs.
enum SW_FileYield : unsigned {
  SW_YieldsTerrain = 1u,  // a mesh
  SW_YieldsLine = 2u,     // one line, the whole file
  SW_YieldsLines = 4u,    // a sequence of lines
  SW_YieldsAreas = 8u,    // area records
};

// What a terrain reader may be asked besides the path: resolution halvings of a grid, and
// whether NODATA points are filled (nonzero) or removed with their cells.
struct SW_TerrainReadOptions {
  int halvings = 0;
  int fillNoData = 0;
};

struct SW_FileFormatEntry {
  SW_FileFormat format = SW_FileFormat::None;
  const char* extensions[6] = {};  // those that choose it; null after the last
  unsigned yields = 0;             // SW_FileYield bits
  // The points carry no height (z = 0): a line read from such a file waits to be laid onto
  // a mesh.
  bool flat = false;

  // Replace the mesh with the terrain of the file; false with `error` set (the state of the
  // mesh after a failure is the reader's, SW_MeshFiles.h).
  bool (*readTerrain)(SW_MeshCore& mesh, const char* path, const SW_TerrainReadOptions& options,
                      AK_String& error) = nullptr;
  // Write the mesh; false with `error` set, a previous file then stays.
  bool (*writeTerrain)(SW_MeshCore& mesh, const char* path, AK_String& error) = nullptr;

  // The whole file as one line: appended to the record; written from it (SW_LineFiles.h).
  bool (*readLine)(AK_NamedPolyline& record, const char* path) = nullptr;
  bool (*writeLine)(const AK_NamedPolyline& record, const char* path) = nullptr;

  // Every line of the file, with the names the file gives them ("" where it gives none).
  bool (*readLines)(const char* path, AK_Array<AK_NamedPolyline>& list, AK_Array<AK_String>& names) = nullptr;
  // The next line of a text stream: its points appended to the record (and its attribute
  // lines to the text, where the format has them), its name in `name` where the format names
  // lines. True while the stream goes on, as the format's own reader answers.
  bool (*readNextLine)(std::istream& in, AK_NamedPolyline& record, AK_String& name) = nullptr;
  // One line to a text stream: the name where the format names lines (a DXF layer), numbers
  // of `precision` significant digits, the closed flag where the format has one. The frame
  // goes around all lines of a file.
  bool (*writeNextLine)(std::ostream& out, const AK_NamedPolyline& record, const char* name,
                        int precision, int closed) = nullptr;
  void (*beginLines)(std::ostream& out) = nullptr;
  void (*endLines)(std::ostream& out) = nullptr;

  bool Yields(SW_FileYield what) const { return (yields & what) != 0; }
  bool Is(SW_FileFormat f) const { return format == f; }
};

// The format that the path's extension (after its last ".") chooses; the entry of
// SW_FileFormat::None, which yields nothing and has no reader, when none does.
const SW_FileFormatEntry& SW_FileFormatOf(const char* path);
// The entry of a format.
const SW_FileFormatEntry& SW_FileFormatEntryOf(SW_FileFormat format);
// The file of that format beside a path: `stem` (a path without its extension), "." and the
// format's first extension.
AK_String SW_FileBeside(const AK_String& stem, SW_FileFormat format);
