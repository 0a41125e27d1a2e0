// Two services for the engineer who inspects a run: showing the log of a background run,
// and comparing the area that the avalanche covers with an observed deposition outline.
//
// The simulation's commands "ShowShallowWaterLogFile" and "EvaluateDepositionWith" call
// SW_ShowLogFile and SW_EvaluateDeposition; SW_DepositionError is the measure itself, over
// plain arrays.
#pragma once

#include "AK_Basic.h"
#include "AK_Vec.h"

class AK_Object;
class SW_Mesh;

// The run log "start.log" in the project directory ("." when empty), joined with the
// directory separator unless the directory already ends with one.
AK_String SW_LogFilePath(const char* projectDir);
// Asks the front end to show the run log: the message "SHOW_FILE:" and the path. Nothing
// is read or checked.
void SW_ShowLogFile(const char* projectDir);

// The mismatch between the covered vertices (flow depth above 0) and the reference
// outline. The first point A and the last point B of the reference divide the plane: only
// vertices on the right of the direction from A to B, or on it, take part. With d the signed
// distance to the reference (SW_SignedDistance, positive on its left), a vertex with d > 0
// adds d to the weight and, when it is not covered, to the error; a covered vertex with
// d <= 0 adds -d to both. The result is error / weight, or 0 when nothing has weight.
// A vertex without a depth value (more vertices than values) counts as not covered. The
// reference must have at least one point.
double SW_DepositionError(const AK_Array<AK_Vec3>& vertices, const AK_Array<float>& flowDepth,
                          const AK_Array<AK_Vec3>& reference);

// The command: nothing when the path is empty or there is no mesh or no flow depth;
// otherwise the path (relative to the simulation) must name a polyline with points, or the
// error text says it does not. The result goes out as the message "INFO: deposition error
// relative to '<path>' is <E>" and into the simulation's "$DepositionError", both written
// by AK_FormatDouble.
void SW_EvaluateDeposition(AK_Object& simulation, const char* path, const SW_Mesh* mesh,
                           const AK_Array<float>* flowDepth);
