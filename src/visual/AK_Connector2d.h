// AK_Connector2d: a right-angled connecting line on the screen plane between "Pt1" and
// "Pt2", like the wires of a block diagram. It leaves Pt1 horizontally to the right ("Dir1"
// 0) or left, runs vertically, and reaches Pt2 from the left ("Dir2" 1) or right; where the
// points are too close for one bend it takes stubs of length "Len". Points are in screen
// units about its "Position". No container creates it by type name; an owner constructs it.
#pragma once

#include <cstdint>

#include "AK_VisObj2d.h"

// The path from p1 to p2: 4 or 6 points into `path`, their count answered. With dir1 0 the
// line leaves p1 to the right and dir2 0 means it arrives from the right (anything else
// from the left); with dir1 nonzero it leaves to the left and dir2 1 means it arrives from
// the left (anything else from the right).
int AK_ConnectorPath(const double p1[2], const double p2[2], int32_t dir1, int32_t dir2,
                     double len, AK_Vec2 path[6]);

class AK_Connector2d : public AK_Class<AK_Connector2d, AK_VisObj2d> {
public:
  static constexpr const char* kClassName = "AK_Connector2d";
  AK_Connector2d(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_Connector2d>& t);

  void Draw() override;

  double Pt1[2] = {0.4, 0.4};
  double Pt2[2] = {0.6, 0.6};
  int32_t Dir1 = 0;
  int32_t Dir2 = 1;
  double Len = 0.01;
};
