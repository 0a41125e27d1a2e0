// Readers of terrain point files, fed with blocks of bytes so that the same code reads a
// file of any size, a memory buffer or a fuzzer's input.
//
// "xyz" text: one point per line, "x y z" (blanks, TABs or commas between the numbers);
// lines that do not start with three finite numbers are skipped (headers, comments); the
// last line counts with or without a line end; CRLF and NUL bytes do no harm.
//
// DXF: read line by line. A line "POINT" opens a point; in it, the group code lines 10, 20
// and 30 announce the x, y and z value on the next line, and the z value completes the
// point with the x and y last read. Sections, layers, other entities and group codes pass
// unseen, and an entity boundary does not end a point; a value that is not a finite number
// abandons the point.
#pragma once

#include <cstddef>

#include "AK_Basic.h"

class SW_XyzParser {
public:
  static constexpr int kLineBuffer = 256;  // a longer line keeps its first 255 characters

  explicit SW_XyzParser(AK_Array<AK_Vec3>& out) : _out(out) {}
  void Feed(const char* data, size_t size);
  void Finish();  // the last line without a line end

private:
  void EndLine();
  AK_Array<AK_Vec3>& _out;
  char _line[kLineBuffer];
  int _length = 0;
  bool _overlong = false;
};

class SW_DxfPointParser {
public:
  static constexpr int kLineBuffer = 128;  // a longer line keeps its first 127 characters

  explicit SW_DxfPointParser(AK_Array<AK_Vec3>& out) : _out(out) {}
  void Feed(const char* data, size_t size);
  void Finish();

private:
  void EndLine();
  void Line(const char* line);
  AK_Array<AK_Vec3>& _out;
  char _line[kLineBuffer];
  int _length = 0;
  bool _haveLine = false;
  bool _inPoint = false;
  int _pending = 0;  // the coordinate whose value the next line holds: 1 x, 2 y, 3 z
  bool _haveX = false, _haveY = false;
  double _x = 0, _y = 0;
};
