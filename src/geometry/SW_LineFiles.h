// Line files: point lists ("xy", "xyz"), polyline lists with attribute lines ("nxyz"), DXF
// POLYLINE and LWPOLYLINE entities, the "ano" files that come with raster terrain, the value
// dictionaries a GIS attaches to DXF areas, and the chaining of loose segments into lines.
//
// Plain functions over AK_NamedPolyline {points; text}; the objects that import and export
// lines hand in their own points and attribute text. None of them sends a message: each
// answers true when it succeeded (a stream reader: when it read an item and the stream has
// not failed), and the callers word the error text.
//
// Common rules:
// - Readers append to the record they are given; they never empty it.
// - The attribute text holds "key=value" items, each ended by ";". In "xy", "xyz" and "nxyz"
//   files every line that contains "=" is an attribute line: its trailing control and
//   non-ASCII bytes are cut off, it is appended to the text, and ";" follows unless the
//   text already ends with one. Writers put each item on a line of its own.
// - Numbers are read and written with "." as the decimal point whatever the locale; a
//   decimal comma ends a number; a number that is not finite is no number. Lines end in LF
//   or CRLF.
// - Long lines: the program's own formats (point lists, "nxyz", "ano") read lines of any
//   length, so that whatever the writers put into them reads back; DXF lines take at most
//   511 characters, and a longer line is a read failure that ends what is being read; the
//   ESRI dictionaries are read in pieces of 255 bytes, each a line of its own.
// - Files: only a regular file is read (anything else answers as a file that cannot be
//   opened), and a UTF-8 byte-order mark at its start is skipped (AK_Files.h).
// - A last line without a line end reads as if it had one: no point, line or area is lost
//   because the file's final line end is missing.
// - No count read from a file reserves memory: arrays grow only with the data read.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "AK_Basic.h"

// Makes SW_ReadDxfPolyline keep an LWPOLYLINE's extension-dictionary handle in its name
// ("XDICT " + handle, then " " + layer). The area imports set it around a DXF import.
extern int32_t DxfReadXdict;

// Point lists: one point per line, "x y" ("xyz": "x y z") or "x,y" ("x,y,z"); lines that are
// neither are skipped, "xy" points get z = 0. False when the file cannot be opened.
bool SW_ReadXyFile(AK_NamedPolyline& record, const char* path);
bool SW_ReadXyzFile(AK_NamedPolyline& record, const char* path);
// The attribute lines, then one point per line with six decimals ("%lf"). False when the
// file cannot be created or not be written whole (a previous file then stays).
bool SW_WriteXyFile(const AK_NamedPolyline& record, const char* path);
bool SW_WriteXyzFile(const AK_NamedPolyline& record, const char* path);

// "nxyz": a sequence of polylines, each its attribute lines, a line whose first item is the
// point count, then the points as white-space separated x y z. A count below 1 ends the list.
//
// Reads one polyline into the record: attribute lines go to its text, lines that are no
// count are skipped, then up to count points; a number that fails to read ends the polyline
// without the incomplete point. True when a polyline was read and the stream has not
// failed; false at the end of the list, on a count below 1 and after a failed number.
bool SW_ReadNxyzPolyline(AK_NamedPolyline& record, std::istream& in);
// The attribute lines, the count, then one "x y z" line per point in general notation with
// `precision` significant digits. The stream's own precision, format and locale are kept.
// False when the stream has failed.
bool SW_WriteNxyzPolyline(const AK_NamedPolyline& record, std::ostream& out, int precision);
// Every polyline of an "nxyz" file, appended to `list` while SW_ReadNxyzPolyline answers true.
// False when the file cannot be opened.
bool SW_ReadNxyzFile(const char* path, AK_Array<AK_NamedPolyline>& list);

// Reads one DXF entity: a POLYLINE with its VERTEX entities (x, y, z of each vertex) or an
// LWPOLYLINE (x and y of each vertex, z the entity's elevation, group 38). Group codes are
// recognised in the right-aligned three-column form ("  8", " 10"). The entity's layer
// becomes `name` ("" first). Reading stops after the entity, at a line containing "SEQEND"
// or "ENDSEC" (so a section end before any entity answers true with no points) or at the
// end of the input. Bulges, widths and flags are not read. True when the stream has not
// failed (more may follow), false when the input ended first.
bool SW_ReadDxfPolyline(AK_Array<AK_Vec3>& points, std::istream& in, AK_String& name);
// One 3-D POLYLINE entity on the layer: a header (closed flag set only when `closed`), a
// VERTEX per point with general-notation numbers of `precision` significant digits, and
// SEQEND. False when the stream has failed.
bool SW_WriteDxfPolyline(const AK_NamedPolyline& record, const char* layer, std::ostream& out,
                         int precision, int closed);
// The frame around the entities of a DXF file: an ENTITIES section and the end of file.
void SW_WriteDxfBegin(std::ostream& out);
void SW_WriteDxfEnd(std::ostream& out);
// Every entity of a DXF file: one record (empty text) and one name per SW_ReadDxfPolyline call
// that answers true, records without points included. False when the file cannot be opened.
bool SW_ReadDxfFile(const char* path, AK_Array<AK_NamedPolyline>& list, AK_Array<AK_String>& names);

// The outline block of the area files (".rel", ".res"): a count n, then n points "x y" as
// white-space separated numbers, z = 0. Empties `points` first. True when all n points were
// read (none for n < 1), false when the input failed before: the whole points read so far
// stay, an incomplete one is dropped.
bool SW_ReadOutlinePoints(AK_Array<AK_Vec3>& points, std::istream& in);

// One record of an "ano" line file, as SW_ReadAnoRecord leaves it.
struct SW_AnoRecord {
  AK_String name;        // the name line when longer than 2 characters, else ""
  int32_t count = 0;     // the announced count (points read may be fewer)
  int32_t autoColored = -1;  // 0 for a known colour word, 1 for another; -1: no count line
  const char* color = nullptr;  // "r g b" of the known colour word, else null
  AK_Array<AK_Vec3> points;    // appended to, (x, y, 0)
};
// Reads a name line, a count line "count colourword" and count point lines "x y" (lines
// that are no point are consumed and skipped; a count below 1 reads no point). False when
// the count line is missing or incomplete, which ends the file.
bool SW_ReadAnoRecord(std::istream& in, SW_AnoRecord& record);

// The value a GIS attached to a DXF area in its "ESRI_Attributes" dictionary. `entity` holds
// "_XDICT_" + handle + "_" (as identifiers made from "XDICT handle layer" names do). Stores
// the area's "d0" record, read as a number, in `value`, and answers the text of its "name" or
// "layer" record; whatever is missing leaves `value` untouched and answers `entity`.
AK_String SW_ReadDxfEsriAttributes(const char* path, const char* entity, double& value);

// Chains segments (points 2i and 2i + 1) into polylines appended to `list`: each chain goes
// on from the end of its last segment with the nearest unused segment start within
// distance d, looked up in a grid whose cell is the mean segment length per point.
void SW_GridPolylinesFromPoints(const AK_Array<AK_Vec3>& points, double d,
                                AK_Array<AK_NamedPolyline>& list);
