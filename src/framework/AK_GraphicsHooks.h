// The drawing calls that the framework's update pass makes. They go through the graphics
// operation table when the table is built with the framework; otherwise they do nothing.
#pragma once

void AK_GraphicsPushName(unsigned int name);
void AK_GraphicsPopName();
