// The copy description text: recognising a line, the block reversal and the walk.
#include "AK_VisObj3d_CloneTrafos.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AK_NumberText.h"

namespace {

enum class LineKind { Copy, Translate, Rotate, RotateAboutLine, Mirror, MirrorAtPoint, Scale, Other };

struct TrafoLine {
  LineKind kind = LineKind::Other;
  int copies = 0;  // of a "cp" line
  int index = 0;   // k of a "k:" prefix; 0 for an operation on every copy
  double v[7] = {};
};

void SkipBlanks(const char*& p)
{
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
}

// An integer as "%d" reads it (blanks first), kept within int.
bool ScanInt(const char*& p, int& value)
{
  const char* start = p;
  SkipBlanks(start);
  char* end = nullptr;
  long v = std::strtol(start, &end, 10);
  if (end == start) return false;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  value = static_cast<int>(v);
  p = end;
  return true;
}

bool ScanKeyword(const char*& p, const char* word)
{
  size_t n = std::strlen(word);
  if (std::strncmp(p, word, n) != 0) return false;
  p += n;
  return true;
}

// Up to `most` numbers; how many were read.
int ScanNumbers(const char* p, double* v, int most)
{
  int n = 0;
  while (n < most && AK_ScanDouble(p, v[n])) ++n;
  return n;
}

TrafoLine Recognise(const char* text)
{
  TrafoLine line;
  const char* p = text;
  SkipBlanks(p);
  if (ScanKeyword(p, "cp")) {
    if (ScanInt(p, line.copies)) line.kind = LineKind::Copy;
    return line;
  }
  if (!std::isalpha(static_cast<unsigned char>(*p))) {
    if (!ScanInt(p, line.index) || *p != ':') return line;
    ++p;
    // An index that names no copy acts on none; 0 would mean every copy.
    if (line.index < 1) line.index = -1;
  }
  if (ScanKeyword(p, "trans")) {
    if (ScanNumbers(p, line.v, 3) == 3) line.kind = LineKind::Translate;
  } else if (ScanKeyword(p, "rot")) {
    int n = ScanNumbers(p, line.v, 7);
    if (n == 7) line.kind = LineKind::RotateAboutLine;
    else if (n >= 4) line.kind = LineKind::Rotate;
  } else if (ScanKeyword(p, "mirror")) {
    int n = ScanNumbers(p, line.v, 6);
    if (n == 6) line.kind = LineKind::MirrorAtPoint;
    else if (n >= 3) line.kind = LineKind::Mirror;
  } else if (ScanKeyword(p, "scale")) {
    if (ScanNumbers(p, line.v, 3) == 3) line.kind = LineKind::Scale;
  }
  return line;
}

// The lines that end with a line feed.
std::vector<TrafoLine> ReadLines(const AK_String& text)
{
  std::vector<TrafoLine> lines;
  const char* p = text.c_str();
  for (const char* end; (end = std::strchr(p, '\n')) != nullptr; p = end + 1)
    lines.push_back(Recognise(AK_String(p, end)));
  return lines;
}

float F(double v) { return static_cast<float>(v); }

// Acts on the matrix; true for a reflection.
bool Apply(const TrafoLine& l, const CloneTrafoOps& ops)
{
  const double* v = l.v;
  switch (l.kind) {
    case LineKind::Translate: ops.translate(F(v[0]), F(v[1]), F(v[2])); return false;
    case LineKind::Rotate: ops.rotate(F(v[0]), F(v[1]), F(v[2]), F(v[3])); return false;
    case LineKind::RotateAboutLine:
      ops.translate(F(v[1]), F(v[2]), F(v[3]));
      ops.rotate(F(v[0]), F(v[4]), F(v[5]), F(v[6]));
      ops.translate(F(-v[1]), F(-v[2]), F(-v[3]));
      return false;
    case LineKind::Mirror: ops.mirror(F(v[0]), F(v[1]), F(v[2])); return true;
    case LineKind::MirrorAtPoint:
      ops.translate(F(v[0]), F(v[1]), F(v[2]));
      ops.mirror(F(v[3]), F(v[4]), F(v[5]));
      ops.translate(F(-v[0]), F(-v[1]), F(-v[2]));
      return true;
    case LineKind::Scale: ops.scale(F(v[0]), F(v[1]), F(v[2])); return false;
    default: return false;
  }
}

// The walk, depth first, on a stack of its own: a line of the text is one level, so a long
// text never runs out of the program's stack. Each level has pushed the matrix once and
// pops it when it is left; a "cp" level starts its copies one after the other.
class Walker {
public:
  Walker(const std::vector<TrafoLine>& lines, const CloneTrafoOps& ops) : _lines(lines), _ops(ops) {}

  void Run(int copy, int mirrored)
  {
    Descend(0, copy, mirrored);
    while (!_levels.empty()) {
      Level& level = _levels.back();
      const TrafoLine& line = _lines[level.line];
      if (line.kind == LineKind::Copy && level.next < line.copies && _steps < kMaxSteps) {
        const int c = level.next++;
        Descend(level.line + 1, c, level.mirrored);
      } else {
        _ops.pop();
        _levels.pop_back();
      }
    }
    if (_steps >= kMaxSteps)
      AK_Messagef("WARNING: the copy description was cut short after %d steps", kMaxSteps);
  }

private:
  struct Level {
    size_t line;
    int mirrored;
    int next;  // the copy that a "cp" level starts next
  };

  // Follows the lines from i until a "cp" line (whose copies Run starts), a line that ends
  // the branch, or the end of the text, where a clone is made.
  void Descend(size_t i, int copy, int mirrored)
  {
    for (;; ++i) {
      ++_steps;
      if (i == _lines.size()) {
        _ops.leaf(mirrored);
        return;
      }
      const TrafoLine& line = _lines[i];
      _ops.push();
      _levels.push_back({i, mirrored, 0});
      if (line.kind == LineKind::Copy || line.kind == LineKind::Other) return;
      const bool ours = line.index == 0 || line.index - 1 == copy;
      if (ours && Apply(line, _ops)) mirrored = 1 - mirrored;
    }
  }

  // Lines walked and clones made; beyond this many a description is a mistake, not a
  // drawing ("cp 100000" three times): "cp" lines stop starting copies, so that the walk
  // ends in reasonable time.
  static constexpr int kMaxSteps = 10000000;
  const std::vector<TrafoLine>& _lines;
  const CloneTrafoOps& _ops;
  std::vector<Level> _levels;
  int _steps = 0;
};

// An indexed line joins the block before it: " %d:%s " with a word that occurs in the
// names of the operations.
bool JoinsBlock(const char* text)
{
  const char* p = text;
  int index;
  if (!ScanInt(p, index) || *p != ':') return false;
  ++p;
  SkipBlanks(p);
  const char* end = p;
  while (*end && !std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (end == p) return false;
  static const char kNames[] = "trans rot mirror scale";
  size_t n = static_cast<size_t>(end - p);
  if (n >= sizeof kNames) return false;
  return std::strstr(kNames, std::string(p, n).c_str()) != nullptr;
}

}  // namespace

void ParseCloneTrafos(const AK_String& text, const CloneTrafoOps& ops, int copyIndex,
                      int mirrored)
{
  Walker(ReadLines(text), ops).Run(copyIndex, mirrored);
}

int CountCloneTrafoLines(const AK_String& text)
{
  int n = 0;
  for (const char* p = text.c_str(); *p; ++p) n += *p == '\n';
  return n;
}

AK_String ReverseCloneTrafoBlocks(const AK_String& text)
{
  AK_Array<AK_String> lines;
  text.Split('\n', lines);
  std::vector<AK_String> blocks;
  for (const AK_String& line : lines) {
    if (!blocks.empty() && JoinsBlock(line)) {
      blocks.back() += "\n";
      blocks.back() += line;
    } else {
      blocks.push_back(line);
    }
  }
  AK_String out;
  for (auto b = blocks.rbegin(); b != blocks.rend(); ++b) {
    out += *b;
    out += "\n";
  }
  return out;
}
