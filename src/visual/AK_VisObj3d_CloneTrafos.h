// The copy description text of AK_VisObj3d ("CloneTrafos"): lines separated by a line feed,
// each one of
//
//   cp N                          the lines after it apply to N copies, numbered 0 .. N-1
//   [k:]trans x y z               translation
//   [k:]rot angle ax ay az        rotation (degrees) about an axis through the origin
//   [k:]rot angle px py pz ax ay az   the same about the line through p
//   [k:]mirror nx ny nz           reflection in the plane through the origin with normal n
//   [k:]mirror px py pz nx ny nz  the same through the point p
//   [k:]scale sx sy sz            scaling
//
// An operation with the prefix "k:" acts only on copy k - 1 of the innermost "cp" line
// before it (copy 0 when there is none). Any other line, an empty one included, ends the
// walk on its branch: no copy is produced past it. Surplus numbers are ignored; a number
// that is not finite makes the line unrecognised.
//
// The walk multiplies each operation onto the current matrix, so ReverseCloneTrafoBlocks
// first puts the blocks (a line and the indexed lines after it) in reverse order: the first
// block of the text then acts first on the object.
#pragma once

#include <functional>

#include "AK_Basic.h"

// What a walk does at each step.
struct CloneTrafoOps {
  std::function<void(int mirrored)> leaf;  // once per copy that the walk reaches
  std::function<void()> push;              // saves the current matrix
  std::function<void()> pop;               // restores it
  std::function<void(float angle, float x, float y, float z)> rotate;
  std::function<void(float x, float y, float z)> translate;
  std::function<void(float nx, float ny, float nz)> mirror;
  std::function<void(float x, float y, float z)> scale;
};

// Walks the lines that end with a line feed (a last piece without one is not read) and
// calls the leaf under the operations accumulated on each branch; mirrored flips with each
// reflection. Every push is matched by a pop; the matrix stack grows by one level per line.
// The walk takes at most ten million steps (lines walked and clones made); a warning says
// when copies were left out.
void ParseCloneTrafos(const AK_String& text, const CloneTrafoOps& ops, int copyIndex,
                      int mirrored);

// The blocks in reverse order, each block's lines in their own order, a line feed after
// every block.
AK_String ReverseCloneTrafoBlocks(const AK_String& text);

// How many lines a walk of the text goes through at most (the depth of its matrix stack).
int CountCloneTrafoLines(const AK_String& text);
