// The typed attribute table: how each type of entry formats, parses and refuses a value.
#include <gtest/gtest.h>

#include "AK_ConformanceTest.h"
#include "TestClasses.h"

namespace {

const char* const kMethods[] = {"direct", "per cell", "delta-depth per particle"};

// One attribute of each type.
class TST_Typed : public AK_Class<TST_Typed> {
public:
  static constexpr const char* kClassName = "TST_Typed";
  TST_Typed(const char* id, AK_Object* parent) : AK_Class(id, parent)
  {
    SetUpClassLevel();
    RunClassDefaults();
  }
  static void DeclareAttributes(AK_AttributeTableOf<TST_Typed>& t)
  {
    using T = TST_Typed;
    t.Int("Steps", &T::_steps).Range(1, 100).Strict();
    t.Int("Loose", &T::_loose);
    t.Switch("Faces", &T::_faces);
    t.Double("Angle", &T::_angle).Range(0, 90);
    t.Float("Width", &T::_width);
    t.Vector("Corner", &T::_corner);
    t.Vector("Box", &T::_box).Strict();
    t.Vector("Color", &T::_color).Range(0, 1);
    t.Text("Remark", &T::_remark).AlsoStamps("touch");
    t.FileName("Log", &T::_log);
    t.Reference("Base", &T::_base, "Level1");
    t.Option("Method", &T::_method, kMethods);
    t.Option("Cleanup", &T::_cleanup, kMethods);
    t.Options("MethodOptions", kMethods);
    t.Vis("AngleVis", [](T& o) { return o._faces ? "w" : "-"; });
  }
  int32_t _steps = 10, _loose = 0, _faces = 1, _method = 2;
  double _angle = 35, _corner[2] = {0, 1}, _box[2] = {0, 0};
  float _width = 1, _color[3] = {0.5f, 0.5f, 0.5f};
  AK_String _remark, _log = "run.log", _base, _cleanup = "direct";
};

void RegisterTyped()
{
  std::string table = "obj.Typed\n\tdoc:One attribute of each type.\n";
  for (const char* name : {"Steps", "Loose", "Angle", "Width", "Corner", "Box", "Color", "Remark",
                           "Base", "Method", "Cleanup"}) {
    table += std::string("\tstring.") + name + ":" + name + "\n\t\tset:" + name;
    table += "\n\t\tdoc:A value.\n";
  }
  table += "\tbool.Faces:Faces\n\t\tset:Faces\n\t\tdoc:A switch.\n";
  table += "\tfilename.Log:Log\n\t\tset:Log\n\t\tvis:AngleVis\n\t\tdoc:A file.\n";
  WriteFile(TestUserAttributesDirectory() + "TST_Typed.atr", table);
  AK_RegisterClass("TST_Typed", "Typed", AK_Construct<TST_Typed>);
}

}  // namespace

// Each row is set in turn on the same object: the answer after it, and whether the value was
// refused (an error text, the old answer, no stamp). The conformance test at the end refuses
// the plain bad values of every type and round-trips each through a save and a load.
TEST(AttributeTable, EachTypeFormatsParsesAndRefuses)
{
  RegisterTyped();
  AK_Container top("Top", nullptr);
  auto* typed = new TST_Typed("typed", &top);
  top.AddComponent(typed);
  auto* level1 = new TST_Level1("one", &top);
  top.AddComponent(level1);
  top.AddComponent(new AK_Object("plain", &top));
  struct Row { const char *name, *value, *answer; bool refused; };
  const Row rows[] = {
      {"Steps", " 42 ", "42", false},
      {"Steps", "100", "100", false},
      {"Steps", "7.5", "100", true},
      {"Steps", "0x10", "100", true},
      // Numbers as atoi and atof read them; refused only when not finite or out of range.
      {"Loose", "abc", "0", false},
      {"Loose", "2.7", "2", false},
      {"Loose", " -12abc", "-12", false},
      {"Loose", "2147483648", "-12", true},  // beyond 32 bits
      {"Loose", "0x10", "0", false},  // atoi stops at the "x"
      {"Faces", "0", "0", false},
      {"Faces", "2", "2", false},
      {"Angle", "0.1", "0.1", false},
      {"Angle", "33.333333333333333", "33.3333333333333", false},  // "%.15g"
      {"Angle", "90.0000001", "33.3333333333333", true},
      {"Angle", "0x10", "16", false},  // as strtod reads it
      {"Angle", "1.5x", "1.5", false},
      {"Angle", "nan", "1.5", true},
      {"Angle", "-inf", "1.5", true},
      {"Angle", "1e-400", "0", false},  // too small for a double: 0, as strtod has it
      {"Width", "0.1", "0.1", false},  // "%g" of the float
      {"Width", "123456789", "1.23457e+08", false},
      {"Width", "1e39", "1.23457e+08", true},  // no float holds it
      {"Width", "1e999", "1.23457e+08", true},
      // A vector takes the numbers before the first text that is none ("WARNING:wrong
      // input!" when there were fewer), the rest keep their values.
      {"Corner", "1.5 -2", "1.5 -2", false},
      {"Corner", "\t3  4 ", "3 4", false},
      {"Corner", "7", "7 4", false},
      {"Corner", "1 2 3", "1 2", false},
      {"Corner", "5,6", "5 2", false},
      {"Corner", "abc", "5 2", false},
      {"Corner", "1 nan", "5 2", true},
      {"Corner", "1 2 nan", "1 2", false},  // past the vector's own numbers
      {"Box", "1 2", "1 2", false},
      {"Box", "3", "1 2", true},
      {"Box", "3 4 5", "1 2", true},
      {"Box", "3 4x", "1 2", true},
      {"Color", "0 0.25 1", "0 0.25 1", false},
      {"Color", "0 1.5 1", "0 0.25 1", true},  // each number within the range
      {"Color", "0.1", "0.1 0.25 1", false},
      {"Remark", "any text, 1 2", "any text, 1 2", false},
      {"Log", "../out/run 2.log", "../out/run 2.log", false},
      {"Base", "../one", "../one", false},
      {"Base", "../plain", "../one", true},  // not of the type
      {"Base", "", "", false},  // no object
      {"Method", "per cell", "per cell", false},
      {"Method", "Per cell", "per cell", true},
      {"Cleanup", "delta-depth per particle", "delta-depth per particle", false},
      // The largest doubles: "%.15g" would round them past the doubles, so they answer a text
      // that reads back (the conformance test below saves and loads them).
      {"Corner", "1.7976931348623157e308 -1.7976931348623157e308",
       "1.7976931348623157e+308 -1.7976931348623157e+308", false},
      {"Corner", "1.79769313486231e308 -1e308", "1.79769313486231e+308 -1e+308", false},
      {"Corner", "-1.7976931348623155e+308 4.9e-324", "-1.7976931348623155e+308 4.94065645841247e-324", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " <- '" + row.value + "'");
    int32_t stamp = typed->ModificationTime(row.name);
    AK_ErrorText = "stale";
    EXPECT_EQ(typed->Set(row.name, row.value), 1);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), !row.refused) << AK_ErrorText.c_str();
    EXPECT_EQ(typed->ModificationTime(row.name) > stamp, !row.refused);
    EXPECT_STREQ(typed->Get(row.name).c_str(), row.answer);
  }
  EXPECT_STREQ(typed->Get("MethodOptions").c_str(),
               "direct%AK_SEP%per cell%AK_SEP%delta-depth per particle%AK_SEP%");
  typed->Set("Remark", "again");  // stamps "touch" too, after its own
  EXPECT_GT(typed->ModificationTime("touch"), typed->ModificationTime("Remark"));
  AK_RunConformanceTest("TST_Typed", &top);
}
