// Fuzz target of the line-file readers. The first byte chooses the reader, the rest is the
// file: point lists, "nxyz" (and the same text as the outline block of an area file), DXF
// polylines (with and without extension-dictionary names), "ano" records, ESRI value
// dictionaries (the first line names the entity) and the chaining of the points of an "xyz"
// list as segments. What was read is written back out.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SW_LineFiles.h"

namespace {

const std::string& ScratchFile()
{
  static const std::string path = (std::filesystem::temp_directory_path() / "fuzz_line_files.txt").string();
  return path;
}

void WriteScratch(const std::string& text)
{
  std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
  out << text;
}

void WriteBack(const AK_NamedPolyline& record)
{
  std::ostringstream out;
  SW_WriteNxyzPolyline(record, out, 17);
  SW_WriteDxfPolyline(record, "fuzz", out, 9, record.points.Count() % 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1) return 0;
  const int selector = data[0] % 8;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::istringstream in(text);
  switch (selector) {
    case 0:
    case 1:
    case 2: {
      WriteScratch(text);
      AK_NamedPolyline record;
      if (selector == 0) SW_ReadXyFile(record, ScratchFile().c_str());
      else SW_ReadXyzFile(record, ScratchFile().c_str());
      WriteBack(record);
      if (selector == 2 && record.points.Count() <= 2000) {
        AK_Array<AK_NamedPolyline> chains;
        SW_GridPolylinesFromPoints(record.points, record.points.Count() % 5, chains);
        int32_t total = 0;
        for (const AK_NamedPolyline& c : chains) total += c.points.Count() - 1;
        if (total != record.points.Count() / 2) __builtin_trap();  // every segment once
      }
      break;
    }
    case 3: {
      for (AK_NamedPolyline record; SW_ReadNxyzPolyline(record, in); record = AK_NamedPolyline())
        WriteBack(record);
      std::istringstream outline(text);
      AK_NamedPolyline record;
      SW_ReadOutlinePoints(record.points, outline);
      WriteBack(record);
      break;
    }
    case 4:
    case 5: {
      DxfReadXdict = selector == 5;
      AK_String name;
      for (AK_NamedPolyline record; SW_ReadDxfPolyline(record.points, in, name); record = AK_NamedPolyline())
        WriteBack(record);
      DxfReadXdict = 0;
      break;
    }
    case 6: {
      for (SW_AnoRecord record; SW_ReadAnoRecord(in, record); record = SW_AnoRecord()) {
      }
      break;
    }
    case 7: {
      std::string entity;
      std::getline(in, entity);
      WriteScratch(text);
      double value = 0;
      SW_ReadDxfEsriAttributes(ScratchFile().c_str(), entity.c_str(), value);
      break;
    }
  }
  return 0;
}
