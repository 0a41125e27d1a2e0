#!/bin/sh
# Turns the peak flow depth of the example run into a picture: the terrain's hillshade in grey
# (lit from the south-east, where the slope faces) with the flow depth coloured over it
# (flow_depth_colors.txt: depth in m, red, green, blue, alpha; depths below 5 cm stay
# transparent). Run it in the directory of the run (build/example after scripts/run-example);
# it writes peak_flow_depth.png there.
set -e
colors=$(dirname "$0")/flow_depth_colors.txt
gdaldem hillshade -q -az 120 -alt 35 slope.asc hillshade.tif
gdal_translate -q -b 1 -b 1 -b 1 hillshade.tif peak_flow_depth.tif
gdaldem color-relief -q -alpha peak_flow_depth.asc "$colors" depth_colors.tif
gdalwarp -q depth_colors.tif peak_flow_depth.tif
gdal_translate -q -of PNG -outsize 400% 400% -r nearest peak_flow_depth.tif peak_flow_depth.png
rm -f hillshade.tif depth_colors.tif peak_flow_depth.tif peak_flow_depth.png.aux.xml
