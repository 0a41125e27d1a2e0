// A release-depth formula: a script file of the interpreter (a ".cint" file in a
// "release_depth" folder of the attributes directories) compiled into a namespace of its own,
// whose function "depth" gives the snow depth at a point of a release area.
//
// The script's functions, each optional except "depth", are checked once against the
// arguments the host passes (every argument by address):
//
//   double depth(double x[3], double n[3])  position and unit terrain normal; the depth in m
//   void init()                             once, after the compilation, for the area
//   void getpar(char text[512])             leaves the parameter text in its buffer
//   void setpar(char text[])                takes a new parameter text
//
// "init", "getpar" and "setpar" run with the area on top of the current-object stack, so
// that the script's "get" and "set" with an empty path address the area; "depth" runs for
// every cell of a run and leaves the stack alone.
//
// Each formula owns its namespace: two areas never share one, so deleting either area (or
// selecting another source) frees exactly what it compiled.
#pragma once

#include <cstdio>
#include <memory>

#include "AK_Basic.h"
#include "SW_UserCode.h"

class AK_Object;

class SW_ReleaseDepthFormula {
public:
  // Compiles the open file (the caller opened it from `path` and closes it) into a new
  // namespace below the global one, runs the namespace's initialisers and "init" on behalf
  // of the area. None when it fails, after the message "ERROR: syntax errors in " + path,
  // "ERROR: formula " + path + " does not contain function 'depth'" (a "depth" of another
  // signature counts as none) or "ERROR: formula " + path + " failed in its initialisation: "
  // with the script's error; nothing of the failed formula stays.
  static std::unique_ptr<SW_ReleaseDepthFormula> Compile(std::FILE* file, const char* path,
                                                         AK_Object* area);
  SW_ReleaseDepthFormula(const SW_ReleaseDepthFormula&) = delete;
  SW_ReleaseDepthFormula& operator=(const SW_ReleaseDepthFormula&) = delete;

  // The depth at position p for the unit terrain normal n; NaN when the script fails at run
  // time (its error is reported once, not at every cell).
  double Depth(const AK_Vec3& p, const AK_Vec3& n) const;

  bool HasGetpar() const { return static_cast<bool>(_getpar); }
  bool HasSetpar() const { return static_cast<bool>(_setpar); }
  // The text "getpar" leaves in a zeroed 512-byte buffer (at most 511 characters); "" without
  // "getpar".
  AK_String Parameters(AK_Object* area) const;
  // Hands "setpar" a copy of the text; nothing without "setpar". A "setpar" that fails
  // leaves the error text "RelDepFuncPar: setpar failed: " with the script's error.
  void SetParameters(AK_Object* area, const char* text) const;

private:
  SW_ReleaseDepthFormula() = default;

  std::unique_ptr<SW_UserCode> _code;
  ast_sci_prepared_call _depth;
  ast_sci_prepared_call _getpar;
  ast_sci_prepared_call _setpar;
  mutable AK_String _reportedFailure;  // the run-time error of "depth" reported last
};
