// The colours of a colour bar as plain functions: the ramp, its grey variant and the fading
// into the background, colour-table files and the texels of the discrete-mode texture.
// AK_Colorbar holds the class-wide settings and passes them in.
#pragma once

#include <cstdint>
#include <cstdio>

#include "AK_Basic.h"

// Segments that a discrete-mode texture holds at most; more segments share the last texel.
// (Beyond 2^28 the texture's byte count would not even fit 32 bits.)
constexpr int32_t AK_MaxTextureSegments = 1 << 16;

// The steps of a colour bar that a pass over them visits (drawing, contour levels): every one
// up to what a texture holds, else that many spread evenly over them, so that a huge number
// of segments costs bounded time and memory while the attribute keeps the number asked for.
inline int32_t AK_VisitedSteps(int32_t total) { return total < AK_MaxTextureSegments ? total : AK_MaxTextureSegments; }
// The step visited k-th of `total` steps when `visited` are visited.
inline int32_t AK_VisitedStep(int32_t k, int32_t visited, int32_t total)
{
  return visited == total ? k : static_cast<int32_t>(static_cast<int64_t>(k) * total / visited);
}

// One channel of the ramp: 0 outside [0, 1], rising 4x below 0.25, 1 up to 0.75, falling
// to 0 at 1.
float ColorRampChannel(float x);

// What the ramp reads besides the value.
struct AK_RampSettings {
  int32_t greyscale = 0;
  float fadingRange = 0;                  // normalised values below it fade...
  float background[3] = {0, 0, 0};        // ...into this colour
};

// The colour of a normalised value t (clamped into [0, 1]): blue, cyan, green, yellow, red,
// or 0.95 grey to black, faded towards the background below the fading range.
void AK_RampColor(float t, const AK_RampSettings& settings, float rgb[3]);

// Reads a colour-table file: every line from which " %f %f %f" reads three numbers adds a
// colour, each channel clamped into [0, 1] (a channel that is not a number becomes 0); other
// lines are skipped, whatever their length. Appends red, green, blue per colour to `table`
// and answers the number of colours read.
int AK_ReadColorTable(std::FILE* file, AK_Array<float>& table);

// Colour i (i >= 0) of a table of red, green, blue triples, repeating; (0.5, 0.5, 0.5) for a
// table without a whole colour.
void AK_TableColor(const AK_Array<float>& table, int32_t i, float rgb[3]);

// The texture of n segments: width the least power of two >= n (at least 2; n is capped at
// AK_MaxTextureSegments), and n / width as the scale of texture coordinates.
int32_t AK_TextureWidth(int32_t n);

// Fills width x 4 bytes (red, green, blue, alpha per texel) for n segments: from the table
// when it is used (texel i takes colour min(i, n - 1)), else from the ramp at i / (n - 1)
// (0 for a single segment). Texel 0 is transparent when the fading range exceeds 0.001.
void AK_FillColorTexels(int32_t n, int32_t width, bool useTable, const AK_Array<float>& table,
                        const AK_RampSettings& ramp, float alpha, unsigned char* pixels);

// A digest of the inputs of a texture (fading, alpha, grey, segments, table name): a texture
// built from the same digest is current.
int32_t AK_TextureSignature(float fadingRange, float alpha, int32_t greyscale, int32_t n,
                            const char* tableName);
