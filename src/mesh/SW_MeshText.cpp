// Texts drawn on the mesh: contour labels and vertex numbers.
#include "AK_Text2d.h"
#include "SW_ContourLines.h"

void SW_DrawText(const char* font, const double at[3], const char* text)
{
  DrawBitmapString3d(AK_Text2d::GetFont(font), at, text);
}
