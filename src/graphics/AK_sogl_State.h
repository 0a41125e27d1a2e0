// The software renderer's process-wide state, shared by its two sources and
// readable by tests. Drawing code uses the functions of AK_sogl.h instead.
#pragma once

#include <cstdint>
#include <memory>

#include "AK_sogl.h"

constexpr int soglMatStackSize = 32;
// Scale factor of depth and exclusive upper bound of stored depth values.
constexpr uint32_t soglDepthRange = 65535;
constexpr float soglAmbient = 0.2f;

// Frame buffer: separate planes, pixel (x, y) at width * y + x, row 0 at the bottom.
extern uint32_t soglWidth;
extern uint32_t soglHeight;
extern std::unique_ptr<uint8_t[]> soglRed;
extern std::unique_ptr<uint8_t[]> soglGreen;
extern std::unique_ptr<uint8_t[]> soglBlue;
extern std::unique_ptr<uint16_t[]> soglDepth;
extern uint8_t soglClearRgb[3];

// Matrices: 16 doubles in column order, stack 0 projection, stack 1 modelview.
extern double soglMatStack[2][soglMatStackSize][16];
extern int soglMatIndex[2];
extern int soglMatMode;

extern float soglCurColor[3];
extern float soglCurAlpha;
extern float soglCurNormal[4];
extern float soglLightPos[4];
extern bool soglLighting;
extern bool soglDepthTest;
extern bool soglDepthWrite;
extern bool soglBlend;
extern bool soglOffsetPoint;
extern bool soglOffsetLine;
extern bool soglOffsetFill;
extern float soglOffsetFactor;
extern float soglOffsetUnits;
extern float soglCurPointSize;
extern float soglCurLineWidth;
extern GLenum soglFrontMode;
extern GLenum soglBackMode;
extern GLenum soglPolyMode;
extern bool soglClockwise;

// Primitive assembly.
struct soglVertexSlot {
  float pos[3];
  float color[3];
  float alpha;
};
extern int soglPrimitive;
extern soglVertexSlot soglSlots[3];
extern int soglVertexCount;
extern int soglPieceCount;
extern int soglCurDepthOffset;
extern int soglRasterPos[3];

inline double* soglTop(int stack) { return soglMatStack[stack][soglMatIndex[stack]]; }

// Resets every piece of state to its value at program load and frees the planes.
// Tests use it to start from a known renderer; the program never needs it.
void soglResetState();

// The internal rasterisers, reachable for tests.
void soglPoint(const float* pos, const float* color, float size, float alpha);
void soglLine(const float* p0, const float* p1, const float* c0, const float* c1, float width,
              float a0, float a1);
void soglTriangle(const float* p0, const float* p1, const float* p2, const float* c0,
                  const float* c1, const float* c2, float a0, float a1, float a2);
void soglDepthOffset(const float* p0, const float* p1, const float* p2);
void soglPixel(int x, int y, int depth, uint8_t red, uint8_t green, uint8_t blue, float alpha);
