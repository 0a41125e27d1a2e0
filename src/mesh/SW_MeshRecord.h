// The binary record "SW_Mesh:v1" of the mesh object's data.
#pragma once

#include "AK_Basic.h"
#include "SW_MeshCore.h"

class AK_Object;

// Writes the record; 0, or 1 with AK_ErrorText naming the object and the failed item.
int SW_SaveMeshRecord(AK_STREAM& stream, AK_Object* owner, const SW_MeshCore& mesh);
// Reads a record "SW_Mesh:v0" or "SW_Mesh:v1" and rebuilds the neighbour table and the total
// area vector (the normals are the record's). Every count and index is checked (counts
// against what follows, corners and segment ends against the vertex count, the grid numbers
// against the counts, every cell with a projected area): a bad or short record
// answers 1 with AK_ErrorText "<path>: IO error at SW_Mesh:<line>" and leaves the mesh empty.
int SW_LoadMeshRecord(AK_STREAM& stream, AK_Object* owner, SW_MeshCore& mesh);
