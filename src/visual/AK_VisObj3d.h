// AK_VisObj3d: a visible object placed in space, the base of every drawable terrain and
// scene class.
//
// Its drawing pass multiplies the modelview matrix by the model transformation built from
// "LocalX", "LocalY", "Scale" and "Position" (ApplyTransform) and calls Draw(); it can draw
// the object several times, as rotated copies about an axis ("NumberOfRotatedCopies") or as
// a tree of copies described by the copy description text "CloneTrafos" (see
// CloneTrafos.h). With clones, the object itself is drawn collapsed to a point: only the
// clones are seen.
//
// A derived class's GetBoundingBox computes the box of its own data in its own coordinates
// and widens it with ExtendBoundingBox by the copies that the pass would draw.
#pragma once

#include "AK_VisibleObject.h"

class AK_VisObj3d : public AK_Class<AK_VisObj3d, AK_VisibleObject> {
public:
  static constexpr const char* kClassName = "AK_VisObj3d";
  AK_VisObj3d(const char* id, AK_Object* parent);
  static void DeclareAttributes(AK_AttributeTableOf<AK_VisObj3d>& t);

  void Update() override;

  // Multiplies the current modelview matrix by the model transformation: a data point p is
  // drawn at Scale * R * (p - Position), where R turns LocalX onto the x axis and the plane
  // of LocalX and LocalY onto the x-y plane.
  void ApplyTransform();
  // Widens a box of the object's data (own coordinates) by its rotated copies or clones;
  // unchanged without either, and when the clone description reaches no clone.
  void ExtendBoundingBox(float min[3], float max[3]);

  // 0 while the object itself is drawn; the copy's index (rotated copies, 1 .. N-1) or 1
  // (clones) while Draw() draws a copy.
  int DrawingCopy() const { return _drawingCopy; }

  double Position[3] = {0, 0, 0};
  double LocalX[3] = {1, 0, 0};
  double LocalY[3] = {0, 1, 0};
  double Scale = 1;
  int32_t NumberOfRotatedCopies = 0;
  double RotatedCopiesAxisPoint[3] = {0, 0, 0};
  double RotatedCopiesAxisDir[3] = {0, 0, 1};
  AK_String CloneTrafos;

  // Most rotated copies one drawing pass draws: more would take minutes per pass and show
  // nothing more than a solid of revolution.
  static constexpr int32_t kMaxRotatedCopies = 3600;

protected:
  int32_t _drawingCopy = 0;
  // The copy count last warned about (0: none), so that each pass does not warn again.
  int32_t _warnedRotatedCopies = 0;

private:
  void DrawRotatedCopies();
  void DrawClones();
  void DrawClone(int mirrored);
};
