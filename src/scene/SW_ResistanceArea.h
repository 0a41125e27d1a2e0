// SW_ResistanceArea: a polygon on the terrain inside which the flowing snow meets obstacles
// (a forest, a field of posts) that slow it down. SW_ResistanceAreas: the container of a
// project's resistance areas, which reads them from ".res" files and line files and clones
// them.
//
// A run gives every mesh cell the last area in container order whose polygon contains the
// cell centre and reads its Height, Width, Spacing and ResistanceCoefficient. The three
// "Psa" values are kept for other programs; the run does not use them.
#pragma once

#include "AK_Container.h"
#include "SW_AreaFiles.h"
#include "SW_Polygon.h"

class SW_ResistanceArea : public AK_Class<SW_ResistanceArea, SW_Polygon> {
public:
  static constexpr const char* kClassName = "SW_ResistanceArea";
  SW_ResistanceArea(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_ResistanceArea>& t);

  double Height() const { return _height; }
  double Width() const { return _width; }
  double Spacing() const { return _spacing; }
  double ResistanceCoefficient() const { return _coefficient; }

  // Takes the values and the outline of a ".res" record.
  void TakeRecord(const SW_ResRecord& record);

private:
  double _height = 1.0;
  double _width = 1.0;
  double _spacing = 1.0;
  double _coefficient = 1.0;
  double _psaWidth = 1.0;
  double _psaSpacing = 1.0;
  double _psaCoefficient = 0.0;
};

class SW_ResistanceAreas : public AK_Class<SW_ResistanceAreas, AK_Container> {
public:
  static constexpr const char* kClassName = "SW_ResistanceAreas";
  SW_ResistanceAreas(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<SW_ResistanceAreas>& t);

  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  // Reads the areas of a ".res" file, named after the file with "_0001", "_0002", ...
  // An unopenable file leaves the error text; a malformed record ends the file with a
  // warning that names it, and the areas before it stay.
  void LoadResFile(const char* path);
  // A ".res" file, or a line file whose lines become areas with the default values.
  void Import(const char* path);
  // The area whose values a cell with this centre gets (the last that contains it).
  SW_ResistanceArea* AreaAt(double x, double y);
};
