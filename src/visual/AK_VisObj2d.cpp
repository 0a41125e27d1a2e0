// AK_VisObj2d: the screen placement.
#include "AK_VisObj2d.h"

#include <cmath>

float AK_VisObj2d::_savedProjection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

AK_VisObj2d::AK_VisObj2d(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void AK_VisObj2d::DeclareAttributes(AK_AttributeTableOf<AK_VisObj2d>& t)
{
  t.Vector("Position", &AK_VisObj2d::Position);
}

void AK_VisObj2d::SaveProjectionMatrix(const float matrix[16])
{
  for (int i = 0; i < 16; ++i) _savedProjection[i] = matrix[i];
}

void AK_VisObj2d::SetScreenProjection()
{
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPushMatrix();
  glLoadIdentity();
  glMultMatrixf(_savedProjection);
  glOrtho(0, 1, 0, 1, -1, 1);
}

float AK_VisObj2d::WrapPosition(float value)
{
  // Whole steps added to a negative value, at once: the same as adding 1 until it is not
  // negative, for any finite value.
  if (!(value < 0)) return value;
  double v = value;
  return static_cast<float>(v - std::floor(v));
}

void AK_VisObj2d::Update()
{
  if (!BeginDrawing()) return;
  SetScreenProjection();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPushMatrix();
  glLoadIdentity();
  Position[0] = WrapPosition(Position[0]);
  Position[1] = WrapPosition(Position[1]);
  glTranslatef(Position[0], Position[1], 0.999f);
  glEnable(GL_DEPTH_TEST);
  Draw();
}
