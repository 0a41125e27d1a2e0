#include "AK_ColorRamp.h"

#include <cmath>

#include "AK_Files.h"

namespace {

float Clamp01(float v)
{
  if (!(v > 0)) return 0;  // NaN too
  return v > 1 ? 1 : v;
}

// A byte of a channel or an alpha in [0, 1] (anything else is clamped first).
unsigned char ChannelByte(float v) { return static_cast<unsigned char>(Clamp01(v) * 255.0f); }

}  // namespace

float ColorRampChannel(float x)
{
  if (x < 0 || x > 1) return 0;
  if (x < 0.25f) return 4 * x;
  if (x < 0.75f) return 1;
  return 1 - 4 * (x - 0.75f);
}

void AK_RampColor(float t, const AK_RampSettings& settings, float rgb[3])
{
  t = Clamp01(t);
  if (settings.greyscale) {
    rgb[0] = rgb[1] = rgb[2] = 0.95f - 0.95f * t;
  } else {
    rgb[0] = ColorRampChannel(t - 0.5f);
    rgb[1] = ColorRampChannel(t);
    rgb[2] = ColorRampChannel(t + 0.5f);
  }
  const float f = settings.fadingRange;
  if (f > t) {
    const float w = (f - t) / f;
    for (int c = 0; c < 3; ++c) {
      const float backgroundPart = settings.background[c] * w;
      rgb[c] = static_cast<float>(double{rgb[c]} * (1.0 - double{w}) + double{backgroundPart});
    }
  }
}

int AK_ReadColorTable(std::FILE* file, AK_Array<float>& table)
{
  int colors = 0;
  AK_String line;
  while (AK_ReadLine(file, line)) {
    float rgb[3];
    if (std::sscanf(line, " %f %f %f", &rgb[0], &rgb[1], &rgb[2]) != 3) continue;
    for (float c : rgb) table.Append(Clamp01(c));
    ++colors;
  }
  return colors;
}

void AK_TableColor(const AK_Array<float>& table, int32_t i, float rgb[3])
{
  const int32_t colors = table.Count() / 3;
  if (colors < 1 || i < 0) {
    rgb[0] = rgb[1] = rgb[2] = 0.5f;
    return;
  }
  const int32_t k = 3 * (i % colors);
  for (int c = 0; c < 3; ++c) rgb[c] = table[k + c];
}

int32_t AK_TextureWidth(int32_t n)
{
  n = AK_VisitedSteps(n);
  int32_t width = 2;
  while (width < n) width *= 2;
  return width;
}

void AK_FillColorTexels(int32_t n, int32_t width, bool useTable, const AK_Array<float>& table,
                        const AK_RampSettings& ramp, float alpha, unsigned char* pixels)
{
  const unsigned char alphaByte = ChannelByte(alpha);
  // One segment has a single colour, the bottom of the ramp.
  const float step = n == 1 ? 0.0f : static_cast<float>(1.0 / (n - 1));
  for (int32_t i = 0; i < width; ++i) {
    float rgb[3];
    if (useTable) {
      int32_t j = i < n - 1 ? i : n - 1;
      AK_TableColor(table, j < 0 ? 0 : j, rgb);
    } else {
      const float t = static_cast<float>(i) * step;
      AK_RampColor(t < 1 ? t : 1, ramp, rgb);
    }
    unsigned char* texel = pixels + 4 * static_cast<size_t>(i);
    for (int c = 0; c < 3; ++c) texel[c] = ChannelByte(rgb[c]);
    texel[3] = alphaByte;
  }
  if (double{ramp.fadingRange} > 0.001) pixels[3] = 0;
}

int32_t AK_TextureSignature(float fadingRange, float alpha, int32_t greyscale, int32_t n,
                            const char* tableName)
{
  const float settings = fadingRange + alpha + static_cast<float>(greyscale);
  double digest = (double{settings} + 3.0 * n) * 1000.0;
  // Settings far outside their ranges still give a defined digest.
  if (!(std::fabs(digest) < 1e9)) digest = std::isnan(digest) ? 0 : std::copysign(1e9, digest);
  int64_t signature = static_cast<int64_t>(digest);
  for (const char* p = tableName; *p; ++p) signature += static_cast<signed char>(*p);
  return static_cast<int32_t>(signature);
}
