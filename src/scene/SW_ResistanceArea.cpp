// Resistance areas and their container.
#include "SW_ResistanceArea.h"

#include <cstring>

#include "AK_NumberText.h"
#include "SW_AreaImport.h"

SW_ResistanceArea::SW_ResistanceArea(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  ParseFloatTripleList("0 1 0", Color);
  LineWidth = 2.0f;
  RunClassDefaults();
}

void SW_ResistanceArea::DeclareAttributes(AK_AttributeTableOf<SW_ResistanceArea>& t)
{
  t.Double("Height", &SW_ResistanceArea::_height);
  t.Double("Width", &SW_ResistanceArea::_width);
  t.Double("Spacing", &SW_ResistanceArea::_spacing);
  t.Double("ResistanceCoefficient", &SW_ResistanceArea::_coefficient);
  t.Double("PsaWidth", &SW_ResistanceArea::_psaWidth);
  t.Double("PsaSpacing", &SW_ResistanceArea::_psaSpacing);
  t.Double("PsaResistanceCoefficient", &SW_ResistanceArea::_psaCoefficient);
  t.Command("Polygon", [](SW_ResistanceArea& a, const char* path) { a.CopyCoordsOf(path); });
}

void SW_ResistanceArea::TakeRecord(const SW_ResRecord& record)
{
  _height = record.height;
  _width = record.width;
  _spacing = record.spacing;
  _coefficient = record.coefficient;
  if (record.psa) {
    // The header describes the second kind of obstacle; the area's own kind stays without
    // resistance.
    _psaWidth = record.width;
    _psaCoefficient = record.coefficient;
    _psaSpacing = record.spacing;
    _coefficient = 0;
  }
  SW_TakeOutline(*this, record.points);
}

SW_ResistanceAreas::SW_ResistanceAreas(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void SW_ResistanceAreas::DeclareAttributes(AK_AttributeTableOf<SW_ResistanceAreas>& t)
{
  t.Command("LoadResFile", &SW_ResistanceAreas::LoadResFile);
  t.Command("Import", &SW_ResistanceAreas::Import);
  t.Command("Create", [](SW_ResistanceAreas& c, const char* id) {
    c.AddComponent(new SW_ResistanceArea(id, &c));
  });
  t.Command("Clone", [](SW_ResistanceAreas& c, const char* id) { SW_CloneArea<SW_ResistanceArea>(c, id); });
}

AK_Object* SW_ResistanceAreas::CreateComponent(const char* id, const char* typeName)
{
  if (typeName && std::strcmp(typeName, "ResistanceArea") == 0) return new SW_ResistanceArea(id, this);
  return nullptr;
}

void SW_ResistanceAreas::LoadResFile(const char* path)
{
  SW_LoadAreaFile<SW_ResistanceArea, SW_ResRecord>(*this, path, SW_FileFormat::Res, SW_ReadResRecord);
}

SW_ResistanceArea* SW_ResistanceAreas::AreaAt(double x, double y)
{
  return SW_LastAreaContaining<SW_ResistanceArea>(*this, x, y);
}

void SW_ResistanceAreas::Import(const char* path)
{
  SW_ImportAreas<SW_ResistanceArea>(*this, path, SW_FileFormat::Res, SW_ReadResRecord,
                                    [](SW_ResistanceArea&, double) {});
}
