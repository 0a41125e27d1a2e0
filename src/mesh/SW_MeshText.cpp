#include "SW_ContourLines.h"
void SW_DrawText(const char*, const double[3], const char*) {}
