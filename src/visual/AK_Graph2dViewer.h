// AK_Graph2dViewer: a framed plot area with a grid on the screen plane that holds curves
// (AK_Graph2d) and stacks their labels under its top edge. It imports text tables (see
// AK_GraphTable.h), one curve per data column against the first column. It stores no data
// record of its own; no other class creates it by type name.
#pragma once

#include <cstdint>

#include "AK_Container.h"

class AK_Graph2dViewer : public AK_Class<AK_Graph2dViewer, AK_Container> {
public:
  static constexpr const char* kClassName = "AK_Graph2dViewer";
  AK_Graph2dViewer(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_Graph2dViewer>& t);

  void Update() override;
  // "Graph2d" creates a curve; no other type.
  AK_Object* CreateComponent(const char* id, const char* typeName) override;
  // Adds the curves of a text table after the components there are; a file that cannot be
  // read, is no regular file or holds no curve changes nothing. A UTF-8 byte-order mark at
  // the start is skipped.
  void Import(const char* path);

  int32_t NumRasterLines = 10;
  double X0[2] = {0.1, 0.1};   // lower left corner of the frame, in screen units
  double Size[2] = {0.8, 0.8};
};
