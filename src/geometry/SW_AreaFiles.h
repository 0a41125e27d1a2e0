// Area files: ".rel" release areas and ".res" resistance areas, and the values that the
// attribute text of an imported line gives a release area.
//
// Both files are a sequence of records, one area each: a header line of numbers, then the
// polygon as a whole number N and N pairs "x y", separated by any white space (line ends do
// not matter); every point gets z = 0.
//
//   ".rel" header: depth density [flag]       (at least two numbers; the flag is not used)
//   ".res" header: height width coefficient density [flag [unused]]
//                  (at least four numbers; spacing = 1 / sqrt(density), the density at least
//                  1e-10; with a flag of 0 the values are those of the second obstacle
//                  kind, the "Psa" values)
//
// Blank lines between records are skipped; a header line is at most 255 characters. The last
// number of a file counts also without a line end after it. Numbers are read with "." as the
// decimal point whatever the locale. No count reserves memory: the points grow as they are
// read.
#pragma once

#include <istream>

#include "AK_Basic.h"

struct SW_RelRecord {
  double depth = 0;
  double density = 0;
  AK_Array<AK_Vec3> points;
};

struct SW_ResRecord {
  double height = 0;
  double width = 0;
  double coefficient = 0;
  double spacing = 0;
  // The header's flag was 0: width, coefficient and spacing describe the second obstacle
  // kind (the "Psa" values), and the area's own coefficient is 0.
  bool psa = false;
  AK_Array<AK_Vec3> points;
};

// Read the next record. True when the record is complete. False with `error` empty when
// nothing but blank lines was left (the file is done), false with `error` naming the fault
// when a header or a polygon is not what the form says (the file ends there; the stream
// stands somewhere inside the record).
bool SW_ReadRelRecord(std::istream& in, SW_RelRecord& record, AK_String& error);
bool SW_ReadResRecord(std::istream& in, SW_ResRecord& record, AK_String& error);

// The values of a release area that an imported line's attribute text ("key=value;" items)
// gives. A value that is missing, empty, "None", no number, 0 or negative leaves the area's
// value: the depth comes from "d0", or from "ah" when "d0" is missing; the density from
// "rho"; the enthalpy from "temp", as temp * 2050 (J/kg per degree).
void SW_ReleaseValuesFromAnnotations(const char* annotations, double& depth, double& density,
                                     double& enthalpy);
