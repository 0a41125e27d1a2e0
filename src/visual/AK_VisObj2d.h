// AK_VisObj2d: a visible object placed on the screen plane.
//
// Its drawing pass sets up a projection in which the drawing area runs from 0 to 1 in x
// (left to right) and in y (bottom to top), moves the origin to "Position" (at depth
// 0.999, just inside the near end), switches the depth test on and calls Draw(), so that a
// derived class (screen texts, connectors, colour bars, graphs) draws in screen units about
// its position.
#pragma once

#include "AK_VisibleObject.h"

class AK_VisObj2d : public AK_Class<AK_VisObj2d, AK_VisibleObject> {
public:
  static constexpr const char* kClassName = "AK_VisObj2d";
  AK_VisObj2d(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_VisObj2d>& t);

  void Update() override;

  // The projection that the screen placement starts from (16 floats, column order; the
  // identity unless a caller saves another), shared by all screen objects.
  static void SaveProjectionMatrix(const float matrix[16]);
  static void SetScreenProjection();
  // Brings a negative position into 0..1 by whole steps (-0.25 becomes 0.75, -1.5 becomes
  // 0.5); values at or above 0 stay.
  static float WrapPosition(float value);

  // x and y in screen units (0 to 1 across the drawing area).
  float Position[2] = {0, 0};

private:
  static float _savedProjection[16];
};
