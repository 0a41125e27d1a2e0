// Readers of terrain point files, fed with blocks of bytes so that the same code reads a
// file of any size, a memory buffer or a fuzzer's input.
//
// "xyz" text: one point per line, "x y z" (blanks, TABs or commas between the numbers);
// lines that do not start with three finite numbers are skipped (headers, comments); the
// last line counts with or without a line end; CRLF and NUL bytes do no harm.
//
// DXF: the POINT entities' group 10, 20 and 30 values; every other entity, section and
// group passes unseen. A point ends with its entity: a point whose 30 value is missing (or
// whose 10 or 20 value never came) adds nothing.
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
  void Pair(int code, const char* value);
  AK_Array<AK_Vec3>& _out;
  char _line[kLineBuffer];
  int _length = 0;
  bool _haveLine = false;
  bool _expectCode = true;  // DXF lines alternate: group code, value
  int _code = -1;
  bool _inPoint = false;
  bool _haveX = false, _haveY = false;
  double _x = 0, _y = 0;
};
