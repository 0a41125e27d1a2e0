#include "AK_Random.h"

namespace {
uint32_t g_randomState = 1;
uint32_t g_rand15State = 1;
}  // namespace

int AK_Random() { return AK_NextRandom(g_randomState); }

void AK_SeedRandom(uint32_t seed) { g_randomState = seed; }

int AK_Rand15()
{
  g_rand15State = g_rand15State * 1103515245u + 12345u;
  return static_cast<int>((g_rand15State / 65536u) % 32768u);
}

void AK_SeedRand15(uint32_t seed) { g_rand15State = seed; }
