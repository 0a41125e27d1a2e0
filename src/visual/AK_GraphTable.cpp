#include "AK_GraphTable.h"

#include <cstdlib>

#include "AK_Files.h"

namespace {

// The values of a line of numbers, separated by any run of blanks and TABs.
void SplitValues(AK_String line, AK_Array<AK_String>& values)
{
  line.ReplaceChar('\t', ' ');
  line.Trim();
  while (line.ReplaceAll("  ", " ") > 0) {
  }
  if (!line.IsEmpty()) line.Split(' ', values);
}

void SplitHeader(const AK_String& line, AK_Array<AK_String>& out)
{
  AK_String(line[0] == '#' ? line.c_str() + 1 : line.c_str()).Split('\t', out);
}

}  // namespace

bool AK_ReadGraphTable(std::FILE* file, AK_GraphTable& table)
{
  AK_String line;
  for (int lineNumber = 1; AK_ReadLine(file, line); ++lineNumber) {
    if (!line.IsNumeric()) {
      if (lineNumber == 1) SplitHeader(line, table.names);
      if (lineNumber == 2) SplitHeader(line, table.units);
      continue;
    }
    AK_Array<AK_String> values;
    SplitValues(line, values);
    if (values.IsEmpty()) continue;
    if (table.columns == 0) {
      table.columns = values.Count();
      table.curves.resize(static_cast<size_t>(table.columns - 1));
    }
    const double x = AK_Atof(values[0]);
    for (int32_t i = 1; i < table.columns && i < values.Count(); ++i)
      table.curves[static_cast<size_t>(i - 1)].Append(AK_Vec2{x, AK_Atof(values[i])});
  }
  return !table.curves.empty();
}
