// What the area containers (release areas, resistance areas) share: reading an area file
// into new areas, turning the lines of a line file into areas, and cloning an area.
#pragma once

#include <cstring>
#include <fstream>

#include "AK_Basic.h"
#include "AK_Files.h"
#include "AK_FrameworkState.h"
#include "SW_AreaFiles.h"
#include "SW_FileFormats.h"
#include "SW_LineFiles.h"
#include "SW_Polygon.h"
#include "SW_Polylines.h"
#include "SW_PolylinesImport.h"

// Replaces the area's outline by the points of a file record.
void SW_TakeOutline(SW_Polygon& area, const AK_Array<AK_Vec3>& points);

// Gives the area the points and the annotations of the line.
void SW_TakeLine(SW_Polygon& area, SW_Polyline& line);

// The areas an import made so far, taken out again when a name it asks for is refused
// (AK_Object::VacatedNameRefusal): a refused import leaves none.
class SW_AreasMade {
public:
  explicit SW_AreasMade(AK_Object& container) : _container(container) {}
  void Add(AK_Object* area) { _made.Append(area); }
  // True when the container may make an area named `id`; else every area made goes and the
  // error text says why.
  bool MayName(const AK_String& id)
  {
    const AK_String refusal = _container.VacatedNameRefusal(id);
    if (refusal.IsEmpty()) return true;
    for (const AK_ObjectRef& area : _made)
      if (AK_Object* made = area.Get()) AK_Object::Destroy(made);
    AK_ErrorText = refusal;
    return false;
  }

private:
  AK_Object& _container;
  AK_Array<AK_ObjectRef> _made;
};

// Reads the records of an area file ("rel", "res") into new areas of the container, named
// after the file with "_0001", "_0002", ... An unopenable file leaves "cannot open <kind>
// file <path>!" in the error text, the kind being the format's extension; a malformed
// record ends the file with a warning that names it, and the areas read before it stay. A name
// that a rename or a deletion not saved yet left refuses the whole file.
template <class Area, class Record>
void SW_LoadAreaFile(AK_Object& container, const char* path, SW_FileFormat format,
                     bool (*read)(std::istream&, Record&, AK_String&))
{
  const char* kind = SW_FileFormatEntryOf(format).extensions[0];
  std::ifstream in;
  if (!AK_OpenTextInput(in, path)) {
    AK_ErrorText = AK_TextInputError(path, AK_String("cannot open ") + kind + " file " + path + "!");
    return;
  }
  const AK_String base = SW_FileBaseName(path);
  SW_AreasMade made(container);
  for (int k = 1;; ++k) {
    Record record;
    AK_String malformed;
    const bool complete = read(in, record, malformed);
    if (!complete && malformed.IsEmpty()) return;
    AK_String id = base + AK_String::Format("_%04d", k);
    if (!complete) {
      AK_Messagef("WARNING:%s file %s: record %d (%s) is malformed; the areas before it are kept",
                  kind, path, k, id);
      return;
    }
    if (!made.MayName(id)) return;
    auto* area = new Area(id, &container);
    made.Add(area);
    area->TakeRecord(record);
    container.AddComponent(area);
  }
}

// The lines of a line file, each an area of the container: named by the line's identifier,
// or by the name that the "ESRI_Attributes" dictionary of a DXF file gives its handle.
// `take(area, depth)` gives the new area its values; `depth` is the dictionary's "d0", or -1.
template <class Area, class Take>
void SW_ImportAreaLines(AK_Object& container, const char* path, Take take)
{
  auto* aux = new SW_Polylines("aux", &container);
  DxfReadXdict = 1;
  aux->Import(path);
  DxfReadXdict = 0;
  SW_AreasMade made(container);
  for (AK_Object* c : aux->OwnedComponents()) {
    auto* line = dynamic_cast<SW_Polyline*>(c);
    if (!line) continue;
    AK_String name = line->Id();
    double dictionaryDepth = -1.0;
    if (std::strstr(name, "_XDICT_")) name = SW_ReadDxfEsriAttributes(path, name, dictionaryDepth);
    if (!made.MayName(name)) break;
    auto* area = new Area(name, &container);
    made.Add(area);
    SW_TakeLine(*area, *line);
    take(*area, dictionaryDepth);
    container.AddComponent(area);
  }
  AK_Object::Destroy(aux);
}

// An import into an area container: a file of the container's own area format `own` is read
// record by record (SW_LoadAreaFile), a file of any other format as lines
// (SW_ImportAreaLines with `take`).
template <class Area, class Record, class Take>
void SW_ImportAreas(AK_Object& container, const char* path, SW_FileFormat own,
                    bool (*read)(std::istream&, Record&, AK_String&), Take take)
{
  if (SW_FileFormatOf(path).Is(own))
    SW_LoadAreaFile<Area, Record>(container, path, own, read);
  else
    SW_ImportAreaLines<Area>(container, path, take);
}

// The last area of the container whose polygon contains (x, y): the one a run gives the
// cell of that centre, since where areas overlap the later one wins. None outside all.
template <class Area>
Area* SW_LastAreaContaining(AK_Object& container, double x, double y)
{
  for (int i = container.ComponentCount() - 1; i >= 0; --i) {
    auto* area = dynamic_cast<Area*>(container.Component(i));
    if (area && area->Contains(x, y)) return area;
  }
  return nullptr;
}

// Adds a copy of the container's area of that identifier (SW_Polygon::CopyStateOf), named
// with "_cloned" appended; nothing when there is none.
template <class Area>
void SW_CloneArea(AK_Object& container, const char* id)
{
  auto* source = dynamic_cast<Area*>(container.GetComponent(id));
  if (!source) return;
  auto* clone = new Area(AK_String(id) + "_cloned", &container);
  clone->CopyStateOf(*source);
  container.AddComponent(clone);
}
