// Random numbers. AK_Random is the one shared generator whose sequence every mesh build and
// particle generation depends on; it must repeat bit for bit from a seed. AK_Rand15 stands in
// for the C runtime's rand() (0..32767) with its own state, so that results never depend on
// the platform's library.
#pragma once

#include <cstdint>

// Two steps of x = x * 1103515245 + 12345; a value in 0..2147483647.
int AK_Random();
void AK_SeedRandom(uint32_t seed);  // the state is 1 at program start

// AK_Random's step on a state of the caller's, inline for loops that draw millions of
// numbers; AK_SeedRandom(state) hands the state on to AK_Random afterwards.
inline int AK_NextRandom(uint32_t& state)
{
  state = state * 1103515245u + 12345u;
  const uint32_t first = state;
  state = state * 1103515245u + 12345u;
  return static_cast<int>((first & 0x7fff0000u) | ((state >> 16) & 0x7fffu));
}

// The C standard's sample generator: 0..32767.
int AK_Rand15();
void AK_SeedRand15(uint32_t seed);
