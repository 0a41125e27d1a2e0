# Writes the DXF fixtures of the line-file tests with ezdxf, as a GIS or CAD program would:
#   lines.dxf  an LWPOLYLINE with elevation 1200 on layer "slab", a 3-D POLYLINE with its
#              vertices on layer "ridge", and an LWPOLYLINE on layer "area" whose extension
#              dictionary holds an "ESRI_Attributes" dictionary with the records D0 (2.5)
#              and NAME ("Slab North").
# Run once with python3 (ezdxf installed); the output is kept with the tests.
import ezdxf

doc = ezdxf.new("R2010")
msp = doc.modelspace()
msp.add_lwpolyline([(10, 20), (40, 50), (60, 70)], dxfattribs={"layer": "slab", "elevation": 1200})
msp.add_polyline3d([(1, 2, 3), (4, 5, 6), (7.5, 8.25, -9)], dxfattribs={"layer": "ridge"})
area = msp.add_lwpolyline([(0, 0), (100, 0), (100, 50), (0, 50)], close=True,
                          dxfattribs={"layer": "area"})
xdict = area.new_extension_dict()
esri = xdict.dictionary.add_new_dict("ESRI_Attributes", hard_owned=True)
d0 = esri.add_xrecord("D0")
d0.reset([(40, 2.5)])
name = esri.add_xrecord("NAME")
name.reset([(1, "Slab North")])
doc.saveas("lines.dxf")
