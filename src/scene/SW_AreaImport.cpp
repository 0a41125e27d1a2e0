// What the area containers share.
#include "SW_AreaImport.h"

void SW_TakeOutline(SW_Polygon& area, const AK_Array<AK_Vec3>& points)
{
  area.Clear();
  area.Points() = points;
  area.UpdateBoundingBox();
}

void SW_TakeLine(SW_Polygon& area, SW_Polyline& line)
{
  area.Points() = line.Points();
  area.Line().text = line.Annotations();
  area.UpdateBoundingBox();
}
