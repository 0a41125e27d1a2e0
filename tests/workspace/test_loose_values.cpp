// Values as the classes' own descriptions read them: numbers as atoi and atof take them,
// vectors keep the numbers read (with "WARNING:wrong input!"), and only numbers that are not
// finite or out of a stated range are refused, one class after the other.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "AK_Colorbar.h"
#include "AK_Framework.h"
#include "AK_VisibleObject.h"
#include "SW_Mesh.h"
#include "SW_Polyline.h"
#include "SW_ScalarField.h"
#include "SW_Simulation.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"
#include "TestSupport.h"

namespace {

struct Row {
  const char* object;     // which of the objects below
  const char* attribute;
  const char* value;
  const char* read;       // the attribute that shows the effect
  const char* answer;     // its answer afterwards
  bool refused;           // an error text, and the answer was the same before
  bool warned;            // "WARNING:wrong input!"
};

}  // namespace

TEST(LooseValues, EachClassReadsNumbersAsItsDescriptionSays)
{
  AK_Container top("top", nullptr);
  auto add = [&](AK_Object* o) {
    top.AddComponent(o);
    return o;
  };
  std::map<std::string, AK_Object*> objects = {
      {"mesh", add(new SW_Mesh("mesh", &top))},
      {"field", add(new SW_ScalarField("field", &top))},
      {"visible", add(new AK_VisibleObject("visible", &top))},
      {"simulation", add(new SW_Simulation("simulation", &top))},
      {"polyline", add(new SW_Polyline("polyline", &top))},
      {"wall", add(new SW_WallLine("wall", &top))},
      {"source", add(new SW_SourceLine("source", &top))},
      {"colorbar", add(new AK_Colorbar("colorbar", &top))},
  };
  objects["polyline"]->Set("AppendPoint", "1 2 3");
  objects["mesh"]->Set("XActive", "1 2");
  objects["field"]->Set("ExportRasterLL", "10 20");
  const Row rows[] = {
      {"mesh", "Nx", "2.7", "Nx", "2", false, false},
      {"mesh", "XActive", "7", "XActive", "7 2", false, true},
      {"field", "ExportRasterLL", "7", "ExportRasterLL", "7 20", false, true},
      {"field", "ExportRasterLL", "1 2 3", "ExportRasterLL", "1 2", false, false},
      {"field", "AreaValueLimit", "1.5x", "AreaValueLimit", "1.5", false, false},
      {"field", "AreaValueLimit", "nan", "AreaValueLimit", "1.5", true, false},
      {"field", "DisplayColorMapped", "2", "DisplayColorMapped", "2", false, false},
      {"visible", "Visibility", "2", "Visibility", "2", false, false},
      {"visible", "Color", "0.1", "Color", "0.1 0.5 0.5", false, true},
      {"visible", "Color", "0.1 2 0", "Color", "0.1 0.5 0.5", true, false},
      {"visible", "EnabledDisplayLists", "5", "EnabledDisplayLists", "5", false, false},
      {"visible", "EnabledDisplayLists", "0", "EnabledDisplayLists", "0", false, false},
      {"simulation", "AnimationStepIncrement", "0", "AnimationStepIncrement", "0", false, false},
      {"simulation", "PsaNumMPI", "0", "PsaNumMPI", "0", false, false},
      {"simulation", "NumParticles", "12.9", "NumParticles", "12", false, false},
      {"simulation", "DeltaT", "0", "DeltaT", "0", false, false},  // the run refuses a step of 0
      {"simulation", "DeltaT", "1e400", "DeltaT", "0", true, false},
      {"simulation", "Density", "0x10", "Density", "16", false, false},
      {"simulation", "EndTime", "inf", "EndTime", "100", true, false},
      {"polyline", "AppendPoint", "nan 0 0", "NumVertices", "1", true, false},
      {"polyline", "AppendPoint", "inf", "NumVertices", "1", true, false},
      {"polyline", "MoveVertex", "1 nan", "NumVertices", "1", true, false},
      {"polyline", "InsertPoint", "1e999", "NumVertices", "1", true, false},
      {"polyline", "AppendPoint", "4 5", "NumVertices", "2", false, true},
      {"wall", "Heights", "nan", "Heights", "1%AK_SEP%", true, false},
      {"wall", "Heights", "2%AK_SEP%3x", "Heights", "2%AK_SEP%3%AK_SEP%", false, false},
      {"source", "MassFlow", "-inf", "MassFlow", "1", true, false},
      {"source", "MassFlow", "5abc", "MassFlow", "5", false, false},
      {"colorbar", "Min", "-inf", "Min", "0", true, false},
      {"colorbar", "Min", "-2.5 m", "Min", "-2.5", false, false},
      {"colorbar", "Greyscale", "3000000000", "Greyscale", "0", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.object) + "." + row.attribute + " <- '" + row.value + "'");
    AK_Object* o = objects[row.object];
    const AK_String before = o->Get(row.read);
    MessageCapture messages;
    AK_ErrorText = "";
    EXPECT_EQ(o->Set(row.attribute, row.value), 1);
    EXPECT_EQ(!AK_ErrorText.IsEmpty(), row.refused) << AK_ErrorText.c_str();
    if (row.refused) {
      EXPECT_STREQ(o->Get(row.read), before);
    }
    EXPECT_STREQ(o->Get(row.read), row.answer);
    EXPECT_EQ(messages.Contains("WARNING:wrong input!"), row.warned);
  }
  AK_VisibleObject::EnabledDisplayLists = 0;
}
