// AK_VisObj3d: the model transformation, rotated copies, clones and the widening of a
// bounding box by them.
#include "AK_VisObj3d.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "AK_GLHelpers.h"
#include "AK_VisObj3d_CloneTrafos.h"
#include "AK_sogl.h"

namespace {

// A matrix stack of the walk's own depth (one level per line of the text), so that a long
// copy description never runs into the 32 levels of a renderer's stack. The matrices are
// those of the renderer's operations; the leaf sees the matrix of its clone.
class WalkStack {
public:
  explicit WalkStack(int depth)
  {
    _stack.reserve(static_cast<size_t>(depth) + 1);
    _stack.push_back({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  }
  const double* Top() const { return _stack.back().data(); }

  CloneTrafoOps Ops(std::function<void(int)> leaf)
  {
    CloneTrafoOps ops;
    ops.leaf = std::move(leaf);
    ops.push = [this] { _stack.push_back(_stack.back()); };
    ops.pop = [this] {
      if (_stack.size() > 1) _stack.pop_back();
    };
    ops.translate = [this](float x, float y, float z) {
      const GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
      Multiply(m);
    };
    ops.scale = [this](float x, float y, float z) {
      const GLfloat m[16] = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1};
      Multiply(m);
    };
    ops.rotate = [this](float angle, float x, float y, float z) {
      GLfloat m[16];
      if (soglRotationMatrix(angle, x, y, z, m)) Multiply(m);
    };
    ops.mirror = [this](float x, float y, float z) {
      GLfloat m[16];
      if (soglMirrorMatrix(x, y, z, m)) Multiply(m);
    };
    return ops;
  }

private:
  void Multiply(const GLfloat* m) { soglMultiply(_stack.back().data(), m); }
  std::vector<std::array<double, 16>> _stack;
};

// The unit vector of v; false for a zero or non-finite one.
bool Normalize(const double v[3], double out[3])
{
  const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(length > 0) || !std::isfinite(length)) return false;
  for (int i = 0; i < 3; ++i) out[i] = v[i] / length;
  return true;
}

void Cross(const float a[3], const float b[3], float out[3])
{
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

AK_VisObj3d::AK_VisObj3d(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

void AK_VisObj3d::DeclareAttributes(AK_AttributeTableOf<AK_VisObj3d>& t)
{
  using V = AK_VisObj3d;
  t.Vector("Position", &V::Position);
  t.Vector("LocalX", &V::LocalX);
  t.Vector("LocalY", &V::LocalY);
  t.Double("Scale", &V::Scale);
  t.Int("NumberOfRotatedCopies", &V::NumberOfRotatedCopies);
  t.Vis("RotatedCopiesAxisVis", [](V& o) { return o.NumberOfRotatedCopies ? "w" : "r"; });
  t.Vector("RotatedCopiesAxisPoint", &V::RotatedCopiesAxisPoint);
  t.Vector("RotatedCopiesAxisDir", &V::RotatedCopiesAxisDir);
  t.Text("CloneTrafos", &V::CloneTrafos);
  t.Attribute(
      "BoundingBox", [](V& o) { return AK_String(o.BoundingBoxString()); },
      [](V& o, const char*) { o.BoundingBoxText(); });
}

// --- the model transformation ---

void AK_VisObj3d::ApplyTransform()
{
  float x[3], y[3], z[3], y2[3];
  for (int i = 0; i < 3; ++i) {
    x[i] = static_cast<float>(LocalX[i]);
    y[i] = static_cast<float>(LocalY[i]);
  }
  Cross(x, y, z);
  Cross(z, x, y2);
  float rows[3][3];
  const float* axes[3] = {x, y2, z};
  bool degenerate = false;
  for (int r = 0; r < 3; ++r) {
    const float* a = axes[r];
    const float length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    degenerate = degenerate || !(length > 0) || !std::isfinite(length);
    for (int c = 0; c < 3; ++c) rows[r][c] = static_cast<float>(Scale * (a[c] / length));
  }
  // Parallel or zero local axes fix no orientation: the data keeps its own axes.
  if (degenerate)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) rows[r][c] = static_cast<float>(r == c ? Scale : 0.0);

  // The array starts as the identity, so that a table that answers no matrix still gives a
  // well-defined one.
  GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[4 * c + r] = rows[r][c];
  m[12] = m[13] = m[14] = 0;
  glMultMatrixf(m);

  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[4 * c + r] = r == c ? 1.0f : 0.0f;
  for (int i = 0; i < 3; ++i) m[12 + i] = -static_cast<float>(Position[i]);
  glMultMatrixf(m);
}

// --- the drawing pass ---

void AK_VisObj3d::Update()
{
  if (!BeginDrawing()) return;
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPushMatrix();
  glEnable(GL_DEPTH_TEST);
  if (NumberOfRotatedCopies != 0) {
    DrawRotatedCopies();
  } else if (!CloneTrafos.IsEmpty()) {
    DrawClones();
    // The object itself collapses to a point: only the clones are seen.
    glScalef(0, 0, 0);
  }
  ApplyTransform();
  Draw();
}

void AK_VisObj3d::DrawRotatedCopies()
{
  const int n = NumberOfRotatedCopies;
  double d[3];
  // Copies about an axis without direction would all coincide with the object itself.
  if (n < 2 || !Normalize(RotatedCopiesAxisDir, d)) return;
  const double* a = RotatedCopiesAxisPoint;
  const double t = d[0] * a[0] + d[1] * a[1] + d[2] * a[2];
  float q[3], axis[3];
  for (int i = 0; i < 3; ++i) {
    q[i] = static_cast<float>(a[i] - t * d[i]);
    axis[i] = static_cast<float>(d[i]);
  }
  const int drawn = std::min(n, kMaxRotatedCopies);
  if (drawn < n && _warnedRotatedCopies != n) {
    AK_Messagef("WARNING:%s: of %d rotated copies only the first %d are drawn", Id().c_str(), n, drawn);
    _warnedRotatedCopies = n;
  }
  for (int i = 1; i < drawn; ++i) {
    _drawingCopy = i;
    glPushMatrix();
    glTranslatef(q[0], q[1], q[2]);
    glRotatef(static_cast<float>(i * 360.0 / n), axis[0], axis[1], axis[2]);
    glTranslatef(-q[0], -q[1], -q[2]);
    ApplyTransform();
    Draw();
    glPopMatrix();
  }
  _drawingCopy = 0;
}

void AK_VisObj3d::DrawClones()
{
  glMatrixMode(GL_MODELVIEW);
  AK_String text = ReverseCloneTrafoBlocks(CloneTrafos);
  WalkStack stack(CountCloneTrafoLines(text));
  // Each clone is drawn under its whole matrix, one level of the renderer's stack deep.
  CloneTrafoOps ops = stack.Ops([this, &stack](int mirrored) {
    GLfloat m[16];
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(stack.Top()[i]);
    glPushMatrix();
    glMultMatrixf(m);
    DrawClone(mirrored);
    glPopMatrix();
  });
  ParseCloneTrafos(text, ops, 0, 0);
}

void AK_VisObj3d::DrawClone(int mirrored)
{
  _drawingCopy = 1;
  if (mirrored) glFrontFace(GL_CW);
  ApplyTransform();
  Draw();
  if (mirrored) glFrontFace(GL_CCW);
  _drawingCopy = 0;
}

// --- the bounding box ---

void AK_VisObj3d::ExtendBoundingBox(float min[3], float max[3])
{
  if (NumberOfRotatedCopies >= 2) {
    double d[3];
    if (!Normalize(RotatedCopiesAxisDir, d)) return;
    const double* a = RotatedCopiesAxisPoint;
    double c[3], f[3], t = 0;
    for (int i = 0; i < 3; ++i) c[i] = ((double{min[i]} + max[i]) / 2 - Position[i]) * Scale;
    for (int i = 0; i < 3; ++i) t += (c[i] - a[i]) * d[i];
    for (int i = 0; i < 3; ++i) f[i] = a[i] + t * d[i];
    double toMin = 0, toMax = 0;
    for (int i = 0; i < 3; ++i) {
      toMin += (min[i] - f[i]) * (min[i] - f[i]);
      toMax += (max[i] - f[i]) * (max[i] - f[i]);
    }
    const double r = std::sqrt(std::max(toMin, toMax));
    for (int i = 0; i < 3; ++i) {
      min[i] = static_cast<float>(f[i] - r);
      max[i] = static_cast<float>(f[i] + r);
    }
    return;
  }
  if (CloneTrafos.IsEmpty()) return;

  float centre[3], low[3], high[3];
  for (int i = 0; i < 3; ++i) {
    const float half = static_cast<float>(static_cast<float>(min[i] + max[i]) / 2.0);
    centre[i] = static_cast<float>((half - Position[i]) * Scale);
    low[i] = HUGE_VALF;
    high[i] = -HUGE_VALF;
  }
  bool reached = false;
  AK_String text = ReverseCloneTrafoBlocks(CloneTrafos);
  WalkStack stack(CountCloneTrafoLines(text));
  CloneTrafoOps ops = stack.Ops([&](int) {
    const double* m = stack.Top();
    float p[3];
    for (int r = 0; r < 3; ++r) {
      double sum = static_cast<float>(m[12 + r]);
      for (int c = 0; c < 3; ++c) sum += static_cast<float>(m[4 * c + r]) * centre[c];
      p[r] = static_cast<float>(sum);
    }
    // A clone beyond the single-precision range has no place in the box.
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return;
    for (int r = 0; r < 3; ++r) {
      low[r] = std::min(low[r], p[r]);
      high[r] = std::max(high[r], p[r]);
    }
    reached = true;
  });
  ParseCloneTrafos(text, ops, 0, 0);
  // A description that reaches no clone at a finite place leaves the box as it was, and so
  // does one whose box would not be finite.
  if (!reached) return;
  float diagonal = 0;
  for (int i = 0; i < 3; ++i) diagonal += (max[i] - min[i]) * (max[i] - min[i]);
  const double r = std::sqrt(diagonal) / 2.0 * Scale;
  float lo[3], hi[3];
  for (int i = 0; i < 3; ++i) {
    lo[i] = static_cast<float>(low[i] - r);
    hi[i] = static_cast<float>(high[i] + r);
    if (!std::isfinite(lo[i]) || !std::isfinite(hi[i]) || !(lo[i] <= hi[i])) return;
  }
  for (int i = 0; i < 3; ++i) {
    min[i] = lo[i];
    max[i] = hi[i];
  }
}
