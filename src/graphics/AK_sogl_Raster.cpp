// Software renderer: primitive assembly and rasterisation.
//
// Vertices are transformed by the modelview and projection matrices and used
// directly as normalised coordinates (no division by w, no clipping planes), so
// only orthographic projections draw correctly. Three rasterisers (point square,
// thick line, column-wise filled triangle) feed one pixel routine with a 16-bit
// depth test, polygon offset and alpha blending.
//
// Soundness at the edges: a primitive with a coordinate that is not a finite
// number draws nothing; pixel coordinates are kept as whole numbers in double, so
// a vertex far outside the view is exact rather than wrapped into it; every
// float-to-integer conversion is clamped, and every pixel loop is clipped to the
// frame buffer. Interpolation parameters are taken from the unclipped ends, so
// the pixels inside the view are exactly those of the unclipped loop, and a
// vertex far outside costs no more than one inside.
#include <algorithm>
#include <cmath>

#include "AK_sogl_State.h"

namespace {

// Converts a value that only matters while it is small (a depth, a colour
// channel before its low 8 bits are taken) to int; anything beyond the bound is
// dropped or wraps later anyway. NaN becomes the lower bound.
constexpr double kIntBound = 1 << 30;
int soglToInt(double v) {
  if (!(v >= -kIntBound)) return -static_cast<int>(kIntBound);
  if (v > kIntBound) return static_cast<int>(kIntBound);
  return static_cast<int>(v);
}

// A loop bound: a whole number in double brought into [lo, hi].
int64_t soglBound(double v, int64_t lo, int64_t hi) {
  if (!(v >= static_cast<double>(lo))) return lo;
  if (v > static_cast<double>(hi)) return hi;
  return static_cast<int64_t>(v);
}

// Colour channel to byte: channel × 255 truncated, keeping the low 8 bits.
uint8_t soglByte(float channel) { return static_cast<uint8_t>(soglToInt(channel * 255.0f)); }

bool soglHasPlanes() { return soglRed && soglGreen && soglBlue && soglDepth; }

bool soglFinite(const float* p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// Pixel coordinates by truncation, as whole numbers in double.
double soglPixelX(float x) { return std::trunc((x * 0.5 + 0.5) * soglWidth); }
double soglPixelY(float y) { return std::trunc((y * 0.5 + 0.5) * soglHeight); }
double soglPixelZ(float z) { return std::trunc((z * 0.5 + 0.5) * soglDepthRange); }

// Eye position (double) and clip position (float, each row summed in column
// order with rounding to float after every addition; w is dropped).
void soglTransform(float x, float y, float z, double eye[4], float clip[3]) {
  const double v[4] = {x, y, z, 1.0};
  const double* mv = soglTop(1);
  for (int r = 0; r < 4; ++r) {
    double sum = 0.0;
    for (int c = 0; c < 4; ++c) sum += mv[4 * c + r] * v[c];
    eye[r] = sum;
  }
  const double* p = soglTop(0);
  for (int r = 0; r < 3; ++r) {
    float acc = 0.0f;
    for (int c = 0; c < 4; ++c) acc = static_cast<float>(acc + p[4 * c + r] * eye[c]);
    clip[r] = acc;
  }
}

bool soglIsSurface(int primitive) {
  return primitive == static_cast<int>(GL_TRIANGLES) || primitive == static_cast<int>(GL_QUADS) ||
         primitive == static_cast<int>(GL_POLYGON);
}

// Diffuse factor of the one light at an eye position, for the current normal.
float soglLightFactor(const double eye[4]) {
  double l[3];
  for (int i = 0; i < 3; ++i)
    l[i] = soglLightPos[3] > 0.5f ? soglLightPos[i] - eye[i] : double{soglLightPos[i]};
  const double len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
  if (len > 0)
    for (double& c : l) c /= len;
  double d = l[0] * soglCurNormal[0] + l[1] * soglCurNormal[1] + l[2] * soglCurNormal[2];
  const bool frontFill = soglFrontMode == GL_FILL;
  const bool backFill = soglBackMode == GL_FILL;
  if (soglIsSurface(soglPrimitive) && frontFill != backFill)
    d = frontFill ? d : -d;  // one filled side: light it from that side only
  else
    d = std::fabs(d);
  return static_cast<float>(std::min(1.0, std::max(0.0, d) + soglAmbient));
}

void soglCopySlot(int from, int to) { soglSlots[to] = soglSlots[from]; }

void soglSlotLine(int a, int b) {
  const soglVertexSlot& s = soglSlots[a];
  const soglVertexSlot& e = soglSlots[b];
  soglLine(s.pos, e.pos, s.color, e.color, soglCurLineWidth, s.alpha, e.alpha);
}

void soglSlotPoint(int a) {
  const soglVertexSlot& s = soglSlots[a];
  soglPoint(s.pos, s.color, soglCurPointSize, s.alpha);
}

// The triangle of slots 0, 1, 2, as a piece of the current primitive.
void soglDrawSlotTriangle() {
  const float* p0 = soglSlots[0].pos;
  const float* p1 = soglSlots[1].pos;
  const float* p2 = soglSlots[2].pos;
  if (soglFrontMode == soglBackMode) {
    soglPolyMode = soglFrontMode;
  } else {
    const float a = (p1[0] - p0[0]) * (p2[1] - p0[1]) - (p2[0] - p0[0]) * (p1[1] - p0[1]);
    soglPolyMode = a < 0 ? soglFrontMode : soglBackMode;
  }
  soglDepthOffset(p0, p1, p2);
  const bool firstPiece = soglPieceCount == 0;
  if (soglPolyMode == GL_POINT) {
    if (firstPiece) {
      soglSlotPoint(0);
      soglSlotPoint(1);
    }
    soglSlotPoint(2);
  } else if (soglPolyMode == GL_LINE) {
    if (soglPrimitive == static_cast<int>(GL_TRIANGLES)) {
      soglSlotLine(0, 1);
      soglSlotLine(1, 2);
      soglSlotLine(2, 0);
    } else if (soglPrimitive == static_cast<int>(GL_QUADS)) {
      if (firstPiece) {
        soglSlotLine(0, 1);
        soglSlotLine(1, 2);
      } else {
        soglSlotLine(1, 2);
        soglSlotLine(2, 0);
      }
    } else {  // a polygon: the closing edge comes with glEnd
      if (firstPiece) soglSlotLine(0, 1);
      soglSlotLine(1, 2);
    }
  } else {
    const soglVertexSlot* s = soglSlots;
    soglTriangle(p0, p1, p2, s[0].color, s[1].color, s[2].color, s[0].alpha, s[1].alpha,
                 s[2].alpha);
  }
}

// One end of a column of a filled triangle, interpolated along an edge.
struct soglEdgePoint {
  double y;
  double z;
  double c[3];
  float alpha;
};

// A triangle corner in pixel units (whole numbers in double) with colour bytes.
struct soglRasterVertex {
  double x, y, z;
  int c[3];
  float alpha;
};

soglEdgePoint soglOnEdge(const soglRasterVertex& a, const soglRasterVertex& b, float p) {
  soglEdgePoint e;
  e.y = std::trunc(static_cast<float>(a.y) + p * static_cast<float>(b.y - a.y));
  e.z = std::trunc(static_cast<float>(a.z) + p * static_cast<float>(b.z - a.z));
  for (int i = 0; i < 3; ++i)
    e.c[i] = std::trunc(static_cast<float>(a.c[i]) + p * static_cast<float>(b.c[i] - a.c[i]));
  e.alpha = a.alpha + p * (b.alpha - a.alpha);
  return e;
}

// Rows bottom to top - 1 of one column, clipped to the frame buffer.
void soglFillColumn(int64_t x, const soglEdgePoint& bottom, const soglEdgePoint& top) {
  if (!(bottom.y < top.y)) return;
  const int64_t from = soglBound(bottom.y, 0, soglHeight);
  const int64_t to = soglBound(top.y, 0, soglHeight);
  const float span = static_cast<float>(top.y - bottom.y);
  for (int64_t y = from; y < to; ++y) {
    const float u = static_cast<float>(static_cast<double>(y) - bottom.y) / span;
    const int depth = soglToInt(static_cast<float>(bottom.z) +
                                u * static_cast<float>(top.z - bottom.z));
    uint8_t rgb[3];
    for (int i = 0; i < 3; ++i)
      rgb[i] = static_cast<uint8_t>(soglToInt(static_cast<float>(bottom.c[i]) +
                                              u * static_cast<float>(top.c[i] - bottom.c[i])));
    const float alpha = bottom.alpha + u * (top.alpha - bottom.alpha);
    soglPixel(static_cast<int>(x), static_cast<int>(y), depth, rgb[0], rgb[1], rgb[2], alpha);
  }
}

}  // namespace

void soglPixel(int x, int y, int depth, uint8_t red, uint8_t green, uint8_t blue, float alpha) {
  if (!soglHasPlanes()) return;
  const int64_t d = int64_t{depth} - soglCurDepthOffset;
  if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= soglWidth ||
      static_cast<uint32_t>(y) >= soglHeight || d < 0 || d >= soglDepthRange)
    return;
  const size_t i = size_t{soglWidth} * static_cast<size_t>(y) + static_cast<size_t>(x);
  if (soglDepthTest && d < soglDepth[i]) return;
  if (soglBlend) {
    const float keep = static_cast<float>(1.0 - alpha);
    auto mix = [&](uint8_t stored, uint8_t incoming) {
      return static_cast<uint8_t>(soglToInt(stored * keep + incoming * alpha));
    };
    soglRed[i] = mix(soglRed[i], red);
    soglGreen[i] = mix(soglGreen[i], green);
    soglBlue[i] = mix(soglBlue[i], blue);
  } else {
    soglRed[i] = red;
    soglGreen[i] = green;
    soglBlue[i] = blue;
  }
  if (soglDepthTest && soglDepthWrite) soglDepth[i] = static_cast<uint16_t>(d);
}

void soglPoint(const float* pos, const float* color, float size, float alpha) {
  if (!soglFinite(pos)) return;
  const double px = soglPixelX(pos[0]);
  const double py = soglPixelY(pos[1]);
  const int depth = soglToInt(soglPixelZ(pos[2]));
  const float half = size * 0.5f;
  const float x0 = std::trunc(static_cast<float>(px) - half);
  const float x1 = std::trunc(x0 + size);
  const float y0 = std::trunc(static_cast<float>(py) - half);
  const float y1 = std::trunc(y0 + size);
  const uint8_t r = soglByte(color[0]), g = soglByte(color[1]), b = soglByte(color[2]);
  const int64_t xFrom = soglBound(x0, 0, soglWidth), xTo = soglBound(x1, 0, soglWidth);
  const int64_t yFrom = soglBound(y0, 0, soglHeight), yTo = soglBound(y1, 0, soglHeight);
  for (int64_t x = xFrom; x < xTo; ++x)
    for (int64_t y = yFrom; y < yTo; ++y)
      soglPixel(static_cast<int>(x), static_cast<int>(y), depth, r, g, b, alpha);
}

void soglLine(const float* p0, const float* p1, const float* c0, const float* c1, float width,
              float a0, float a1) {
  if (!soglFinite(p0) || !soglFinite(p1)) return;
  const double X0 = soglPixelX(p0[0]), Y0 = soglPixelY(p0[1]), Z0 = soglPixelZ(p0[2]);
  const double X1 = soglPixelX(p1[0]), Y1 = soglPixelY(p1[1]), Z1 = soglPixelZ(p1[2]);
  const int rgb0[3] = {soglByte(c0[0]), soglByte(c0[1]), soglByte(c0[2])};
  const int rgb1[3] = {soglByte(c1[0]), soglByte(c1[1]), soglByte(c1[2])};
  const double n = std::trunc(width + 0.5);
  const double half = std::trunc((width + 0.5) * 0.5);

  // The line walks its major axis from end 0 towards end 1 (end 1 excluded) and
  // draws a run of n pixels across it at each step.
  const bool xMajor = std::fabs(X1 - X0) > std::fabs(Y1 - Y0);
  const double m0 = xMajor ? X0 : Y0, m1 = xMajor ? X1 : Y1;
  const double q0 = xMajor ? Y0 : X0, q1 = xMajor ? Y1 : X1;
  const int64_t majorSize = xMajor ? soglWidth : soglHeight;
  const int64_t minorSize = xMajor ? soglHeight : soglWidth;
  if (m0 == m1) return;  // one pixel long or less
  const int64_t step = m1 > m0 ? 1 : -1;
  // The visible part of the walk: [m0, m1) or (m1, m0] within [0, majorSize).
  const int64_t first =
      step > 0 ? soglBound(m0, 0, majorSize) : soglBound(m0, -1, majorSize - 1);
  const int64_t last = step > 0 ? soglBound(m1, 0, majorSize) : soglBound(m1, -1, majorSize - 1);
  const float dm = static_cast<float>(m1 - m0);
  for (int64_t m = first; step > 0 ? m < last : m > last; m += step) {
    const float t = static_cast<float>(static_cast<double>(m) - m0) / dm;
    const double center =
        std::trunc(static_cast<float>(q0) + t * static_cast<float>(q1 - q0) + 0.5);
    const int depth = soglToInt(static_cast<float>(Z0) + t * static_cast<float>(Z1 - Z0) + 0.5);
    uint8_t rgb[3];
    for (int i = 0; i < 3; ++i)
      rgb[i] = static_cast<uint8_t>(
          soglToInt(static_cast<float>(rgb0[i]) + t * static_cast<float>(rgb1[i] - rgb0[i])));
    const float alpha = a0 + t * (a1 - a0);
    const int64_t runFrom = soglBound(center - half, 0, minorSize);
    const int64_t runTo = soglBound(center - half + n, 0, minorSize);
    for (int64_t q = runFrom; q < runTo; ++q) {
      const int x = static_cast<int>(xMajor ? m : q);
      const int y = static_cast<int>(xMajor ? q : m);
      soglPixel(x, y, depth, rgb[0], rgb[1], rgb[2], alpha);
    }
  }
}

void soglTriangle(const float* p0, const float* p1, const float* p2, const float* c0,
                  const float* c1, const float* c2, float a0, float a1, float a2) {
  if (!soglFinite(p0) || !soglFinite(p1) || !soglFinite(p2)) return;
  const float* p[3] = {p0, p1, p2};
  const float* c[3] = {c0, c1, c2};
  const float a[3] = {a0, a1, a2};
  int lo = 0, hi = 0;
  for (int i = 1; i < 3; ++i) {
    if (p[i][0] < p[lo][0]) lo = i;
    if (p[i][0] > p[hi][0]) hi = i;
  }
  if (lo == hi) return;  // all x equal
  int mid = (lo + 1) % 3;
  if (mid == hi) mid = (lo + 2) % 3;

  soglRasterVertex v[3];
  for (int i = 0; i < 3; ++i) {
    // Column one less than the pixel's (from column 1 up), row as the pixel's.
    v[i].x = std::trunc(soglPixelX(p[i][0]) - 0.5);
    v[i].y = std::trunc(soglPixelY(p[i][1]) + 0.5);
    v[i].z = soglPixelZ(p[i][2]);
    for (int k = 0; k < 3; ++k) v[i].c[k] = soglByte(c[i][k]);
    v[i].alpha = a[i];
  }
  const soglRasterVertex& L = v[lo];
  const soglRasterVertex& M = v[mid];
  const soglRasterVertex& H = v[hi];
  const double W = soglWidth, Hgt = soglHeight;
  if (L.x > W || H.x < 0) return;
  if (v[0].y < 0 && v[1].y < 0 && v[2].y < 0) return;
  if (v[0].y > Hgt && v[1].y > Hgt && v[2].y > Hgt) return;
  const double dX = H.x - L.x;
  if (dX == 0) return;
  // Exact for every triangle that can touch the view; only its sign matters.
  const long double D = static_cast<long double>(M.y - L.y) * dX -
                        static_cast<long double>(H.y - L.y) * (M.x - L.x);
  if (D == 0) return;  // collinear

  auto column = [&](int64_t x, const soglEdgePoint& longEdge, const soglEdgePoint& shortEdge) {
    if (D < 0)
      soglFillColumn(x, shortEdge, longEdge);
    else
      soglFillColumn(x, longEdge, shortEdge);
  };
  const int64_t width = soglWidth;
  const float fdX = static_cast<float>(dX);
  if (M.x > L.x) {
    const float ds = static_cast<float>(M.x - L.x);
    const int64_t from = soglBound(L.x, 0, width), to = soglBound(M.x, 0, width);
    for (int64_t x = from; x < to; ++x) {
      const double fromLo = static_cast<double>(x) - L.x;
      const float t = static_cast<float>(fromLo) / fdX;
      const float s = static_cast<float>(fromLo) / ds;
      column(x, soglOnEdge(L, H, t), soglOnEdge(L, M, s));
    }
  }
  if (H.x > M.x) {
    const float ds = static_cast<float>(H.x - M.x);
    const int64_t from = soglBound(M.x, 0, width), to = soglBound(H.x, 0, width);
    for (int64_t x = from; x < to; ++x) {
      const float t = static_cast<float>(static_cast<double>(x) - L.x) / fdX;
      const float s = static_cast<float>(static_cast<double>(x) - M.x) / ds;
      column(x, soglOnEdge(L, H, t), soglOnEdge(M, H, s));
    }
  }
}

void soglDepthOffset(const float* p0, const float* p1, const float* p2) {
  soglCurDepthOffset = 0;
  const bool enabled = (soglPolyMode == GL_POINT && soglOffsetPoint) ||
                       (soglPolyMode == GL_LINE && soglOffsetLine) ||
                       (soglPolyMode == GL_FILL && soglOffsetFill);
  if (!enabled) return;
  const float area = (p2[1] - p0[1]) * (p1[0] - p0[0]) - (p2[0] - p0[0]) * (p1[1] - p0[1]);
  const double den = std::fabs(area) + 1e-7;
  const float gx = static_cast<float>(
      std::fabs((p1[2] - p0[2]) * (p2[0] - p0[0]) - (p2[2] - p0[2]) * (p1[0] - p0[0])) / den);
  const float gy = static_cast<float>(
      std::fabs((p2[2] - p0[2]) * (p1[1] - p0[1]) - (p1[2] - p0[2]) * (p2[1] - p0[1])) / den);
  soglCurDepthOffset = soglToInt((std::max(gx, gy) * soglOffsetFactor + soglOffsetUnits) * 100.0);
}

void soglBegin(GLenum mode) {
  soglVertexCount = 0;
  // A new primitive has no pieces yet, so glEnd cannot close an outline of the last one.
  soglPieceCount = 0;
  switch (mode) {
    case GL_POINTS:
    case GL_LINES:
    case GL_LINE_STRIP:
    case GL_TRIANGLES:
    case GL_QUADS:
    case GL_POLYGON:
      soglPrimitive = static_cast<int>(mode);
      break;
    default:
      soglPrimitive = -1;
      break;
  }
}

void soglEnd() {
  // A polygon outline still lacks the edge from its last vertex back to its first;
  // a polygon that never completed a triangle has no outline to close.
  if (soglPrimitive == static_cast<int>(GL_POLYGON) && soglPolyMode == GL_LINE &&
      soglPieceCount > 0) {
    soglVertexCount = -1;
    soglVertex3f(0, 0, 0);
  }
  soglPrimitive = -1;
  soglVertexCount = 0;
}

void soglVertex2f(GLfloat x, GLfloat y) { soglVertex3f(x, y, 0); }

void soglVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  if (soglVertexCount == -1) {
    soglSlotLine(1, 0);
    return;
  }
  if (soglPrimitive < 0) return;
  if (soglVertexCount == 0) soglPieceCount = 0;

  soglVertexSlot& slot = soglSlots[soglVertexCount];
  double eye[4];
  soglTransform(x, y, z, eye, slot.pos);
  for (int i = 0; i < 3; ++i) slot.color[i] = soglCurColor[i];
  slot.alpha = soglCurAlpha;
  if (soglLighting) {
    const float factor = soglLightFactor(eye);
    for (float& channel : slot.color) channel *= factor;
  }

  ++soglVertexCount;
  switch (soglPrimitive) {
    case GL_POINTS:
      soglVertexCount = 0;
      soglSlotPoint(0);
      break;
    case GL_LINES:
      if (soglVertexCount == 2) {
        soglSlotLine(0, 1);
        soglVertexCount = 0;
      }
      break;
    case GL_LINE_STRIP:
      if (soglVertexCount == 2) {
        soglSlotLine(0, 1);
        soglCopySlot(1, 0);
        soglVertexCount = 1;
      }
      break;
    case GL_TRIANGLES:
      if (soglVertexCount == 3) {
        soglDrawSlotTriangle();
        soglVertexCount = 0;
        soglCurDepthOffset = 0;
      }
      break;
    case GL_QUADS:
    case GL_POLYGON:
      if (soglVertexCount == 3) {
        soglDrawSlotTriangle();
        soglCopySlot(2, 1);
        soglVertexCount = 2;
        soglCurDepthOffset = 0;
        ++soglPieceCount;
        if (soglPrimitive == static_cast<int>(GL_QUADS) && soglPieceCount == 2) {
          soglPieceCount = 0;
          soglVertexCount = 0;
        }
      }
      break;
    default:
      break;
  }
}

void soglRasterPos2f(GLfloat x, GLfloat y) { soglRasterPos3f(x, y, 0); }

void soglRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
  double eye[4];
  float clip[3];
  soglTransform(x, y, z, eye, clip);
  // A position outside the frame buffer is kept; pixels drawn from it are dropped.
  soglRasterPos[0] = soglToInt(soglPixelX(clip[0]));
  soglRasterPos[1] = soglToInt(soglPixelY(clip[1]));
  soglRasterPos[2] = soglToInt(soglPixelZ(clip[2]));
}

void soglBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                GLfloat ymove, const GLubyte* bitmap) {
  const int rx = soglRasterPos[0], ry = soglRasterPos[1];
  if (bitmap && width > 0 && height > 0) {
    const int64_t rowBytes = (int64_t{width} - 1) / 8 + 1;
    const uint8_t r = soglByte(soglCurColor[0]), g = soglByte(soglCurColor[1]),
                  b = soglByte(soglCurColor[2]);
    const int64_t ox = soglToInt(static_cast<float>(rx) - xorig);
    const int64_t oy = soglToInt(static_cast<float>(ry) - yorig);
    // Only the rows and columns that land inside the frame buffer are read.
    const int64_t rowFrom = std::max<int64_t>(0, -oy);
    const int64_t rowTo = std::min<int64_t>(height, int64_t{soglHeight} - oy);
    const int64_t colFrom = std::max<int64_t>(0, -ox);
    const int64_t colTo = std::min<int64_t>(width, int64_t{soglWidth} - ox);
    for (int64_t row = rowFrom; row < rowTo; ++row) {
      for (int64_t col = colFrom; col < colTo; ++col) {
        if (bitmap[row * rowBytes + col / 8] & (0x80 >> (col % 8)))
          soglPixel(static_cast<int>(col + ox), static_cast<int>(row + oy), soglRasterPos[2], r,
                    g, b, soglCurAlpha);
      }
    }
  }
  soglRasterPos[0] = soglToInt(static_cast<float>(rx) + xmove);
  soglRasterPos[1] = soglToInt(static_cast<float>(ry) + ymove);
}
