// A text table of curves, as the graph viewer imports it: optional header lines (column
// names on line 1, units on line 2, each split at TABs, a leading '#' dropped), then lines of
// numbers separated by blanks or TABs. The first column is x; every further column becomes
// one curve of (x, value) points.
#pragma once

#include <cstdio>
#include <vector>

#include "AK_Basic.h"

struct AK_GraphTable {
  AK_Array<AK_String> names;  // of the columns, from line 1
  AK_Array<AK_String> units;  // from line 2
  int32_t columns = 0;        // values of the first line of numbers
  // The points of columns 1 .. columns - 1, curve c holding column c + 1.
  std::vector<AK_Array<AK_Vec2>> curves;
};

// Reads the table from the file, lines of any length. A line of numbers is one made only of
// digits, blanks, TABs and "+-.DEde"; lines without a value carry no data and are skipped, and
// a line with fewer values than the first adds no point to the columns it lacks. Other lines
// than the first two that are not lines of numbers are ignored. Answers true when the table
// has at least one curve.
bool AK_ReadGraphTable(std::FILE* file, AK_GraphTable& table);
