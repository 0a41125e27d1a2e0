// Release areas: the ".rel" file form, the values of imported lines and release-depth
// formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Container.h"
#include "AK_FrameworkState.h"
#include "SW_AreaFiles.h"
#include "SW_InitialCondition.h"
#include "SW_Mesh.h"
#include "SW_ReleaseDepthFormula.h"
#include "SW_UserCode.h"
#include "TestMeshes.h"
#include "TestSupport.h"

TEST(ReleaseAreas, RelRecordForms)
{
  // A complete record, the end of the file (no reason), or a malformed record (a reason).
  enum class R { Read, End, Malformed };
  auto next = [](std::istream& in, auto& record) {
    AK_String error;
    if (SW_ReadRelRecord(in, record, error)) return error.IsEmpty() ? R::Read : R::Malformed;
    return error.IsEmpty() ? R::End : R::Malformed;
  };
  struct Row { std::string text; R result; double depth = 0, density = 0; int points = 0; };
  Row rows[] = {
      {"\n0.8 150\n3\n0 0\n1 0\n\n1 1", R::Read, 0.8, 150, 3},  // the last area without a line end
      {"1 2 x\n-1\n", R::Read, 1, 2, 0},
      {"0.8\n3 0 0 1 0 1 1\n", R::Malformed},
      {"0.8 150\n", R::Malformed},
      {"\n", R::End},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::istringstream in(r.text);
    SW_RelRecord record;
    ASSERT_EQ(next(in, record), r.result);
    if (r.result != R::Read) continue;
    EXPECT_EQ(record.depth, r.depth);
    EXPECT_EQ(record.density, r.density);
    ASSERT_EQ(record.points.Count(), r.points);
    EXPECT_EQ(next(in, record), R::End);
  }
}

namespace {

std::unique_ptr<SW_ReleaseDepthFormula> CompileFormula(const std::string& path)
{
  AK_File file(path.c_str(), "r");
  return SW_ReleaseDepthFormula::Compile(file, path.c_str(), nullptr);
}

}  // namespace

TEST(ReleaseAreas, FormulaFunctions)
{
  ScratchDir dir;
  // A "getpar" that fills the whole buffer without a terminator, and one that writes nothing.
  auto filling = CompileFormula(dir.Write("fill.cint",
      "double depth(double x[3], double n[3]) { return x[0] * n[2]; }\n"
      "void getpar(char t[]) { int i; for (i = 0; i < 512; i++) t[i] = 'a'; }\n"));
  ASSERT_TRUE(filling);
  EXPECT_EQ(filling->Depth({4, 0, 0}, {0, 0, 0.5}), 2);
  EXPECT_EQ(std::string(filling->Parameters(nullptr)), std::string(511, 'a'));
  EXPECT_FALSE(filling->HasSetpar());
  auto silent = CompileFormula(dir.Write("silent.cint", "double depth(double x[], double n[]) { return 1; }\nvoid getpar(char t[512]) {}\n"));
  ASSERT_TRUE(silent);
  EXPECT_EQ(silent->Parameters(nullptr), "");

  MessageCapture messages;
  EXPECT_FALSE(CompileFormula(dir.Write("nodepth.cint", "double height(double x[3], double n[3]) { return 1; }\n")));
  EXPECT_FALSE(CompileFormula(dir.Write("wrongdepth.cint", "double depth(double x) { return 1; }\n")));
  EXPECT_EQ(messages.WithPrefix("ERROR: formula ").size(), 2u);
  EXPECT_FALSE(CompileFormula(dir.Write("broken.cint", "double depth(double x[3], double n[3]) { return 1 }\n")));
  EXPECT_TRUE(messages.HasPrefix("ERROR: syntax errors in " + dir / "broken.cint"));
}

// A formula whose script fails at run time: "depth" answers NaN (which a run refuses) and the
// reason is said once however many cells ask; an initialisation that fails leaves no formula.
TEST(ReleaseAreas, FormulaFaults)
{
  ScratchDir dir;
  MessageCapture messages;
  auto dividing = CompileFormula(dir.Write("divides.cint",
      "int zero = 0;\ndouble depth(double x[3], double n[3]) { if (x[0] > 2) return 1 / zero; return 1; }\n"));
  ASSERT_TRUE(dividing);
  EXPECT_EQ(dividing->Depth({1, 0, 0}, {0, 0, 1}), 1);
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(std::isnan(dividing->Depth({3.0 + k, 0, 0}, {0, 0, 1})));
  EXPECT_EQ(dividing->Depth({1, 0, 0}, {0, 0, 1}), 1);  // the cells where it works still work
  EXPECT_EQ(messages.WithPrefix("ERROR: release-depth formula failed: integer division by zero").size(), 1u);
  EXPECT_FALSE(messages.Contains("ast_sci_execute:ERROR"));
  // A "setpar" that fails refuses the value with the script's reason.
  auto refusing = CompileFormula(dir.Write("refuses.cint",
      "double depth(double x[3], double n[3]) { return 1; }\nvoid setpar(char t[]) { int z = 0; z = 1 / z; }\n"));
  ASSERT_TRUE(refusing);
  AK_ErrorText = "";
  refusing->SetParameters(nullptr, "2");
  EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("RelDepFuncPar: setpar failed: integer division by zero", 0), 0u)
      << AK_ErrorText.c_str();
  AK_ErrorText = "";

  const uint64_t limit = SW_UserCodeStepLimit();
  SW_SetUserCodeStepLimit(100000);
  const struct {
    const char* source;
    const char* reason;
  } inits[] = {
      {"void init() { while (1) { } }", "step limit of 100000 exceeded"},
      {"int zero = 0; int k = 1 / zero;", "integer division by zero"},
      {"double g[2]; void init() { int i = 2; g[i] = 1; }", "index 2 out of range"},
      {"int deeper(int n) { return deeper(n + 1); } void init() { deeper(0); }", "recursion too deep"},
  };
  for (const auto& c : inits) {
    SCOPED_TRACE(c.source);
    messages.Clear();
    const std::string path = dir.Write("init.cint", std::string("double depth(double x[3], double n[3]) { return 1; }\n") + c.source);
    EXPECT_FALSE(CompileFormula(path));
    const std::vector<std::string> said = messages.WithPrefix("ERROR: formula " + path + " failed in its initialisation: ");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(c.reason), std::string::npos) << said[0];
  }
  SW_SetUserCodeStepLimit(limit);
}

namespace {

// A project as the workspace builds it: root/Project with its release-depth meshes a and b
// (heights 3 over [0, 10] x [0, 10]) and a base mesh "DHM" of height 0 over [0, 100]^2.
struct Project {
  AK_Object* root = new AK_Container("root", nullptr);
  AK_Object* project = Add(root, new AK_Container("Project", root));
  AK_Object* releaseDhms = Add(project, new AK_Container("ReleaseDHMs", project));
  SW_Mesh* a = Mesh(releaseDhms, "a", 10, 3);
  SW_Mesh* b = Mesh(releaseDhms, "b", 10, 3);
  SW_Mesh* base = Mesh(project, "DHM", 100, 0);
  SW_InitialConditions* areas = static_cast<SW_InitialConditions*>(Add(project, new SW_InitialConditions("ReleaseAreas", project)));
  ~Project() { AK_Object::Destroy(root); }

  static AK_Object* Add(AK_Object* parent, AK_Object* child)
  {
    parent->AddComponent(child);
    return child;
  }
  static SW_Mesh* Mesh(AK_Object* parent, const char* id, double size, double z)
  {
    auto* m = new SW_Mesh(id, parent);
    meshtest::MakeCartesian(m->Core(), 10, 10, size / 10, 0, 0, [z](double, double) { return z; });
    Add(parent, m);
    return m;
  }
  // A square area on the base mesh.
  SW_InitialCondition* Square(const char* id, double x0, double y0, double size)
  {
    SW_InitialCondition* area = areas->NewReleaseArea(id);
    for (auto [x, y] : {std::pair{x0, y0}, {x0 + size, y0}, {x0 + size, y0 + size}, {x0, y0 + size}})
      area->Set("AppendPoint", AK_String::Format("%g %g 0", x, y));
    area->Set("ProjectOnto", "../../DHM");
    return area;
  }
};

}  // namespace

TEST(ReleaseAreas, RelFileIntoTheContainer)
{
  ScratchDir dir;
  dir.Write("slab.rel", "1.5 200 1\n4 0 0 100 0 100 100 0 100\n\n0.8 150\n3\n0 0\n1 0\n1 1\n7\n3 0 0\n");
  Project p;
  MessageCapture messages;
  p.areas->Set("LoadRelFile", (dir.Path() + "\\slab.rel").c_str());
  EXPECT_EQ(p.areas->GetComponentIdList(), "slab_0001%AK_SEP%slab_0002%AK_SEP%");
  ASSERT_EQ(messages.WithPrefix("WARNING:").size(), 1u);
  EXPECT_NE(messages.WithPrefix("WARNING:")[0].find("slab_0003"), std::string::npos);
  EXPECT_EQ(p.areas->GetComponent("slab_0001")->Get("Depth"), "1.5");
  p.areas->Set("LoadRelFile", (dir / "none.rel").c_str());
  EXPECT_EQ(AK_ErrorText, AK_String("cannot open rel file ") + (dir / "none.rel").c_str() + "!");
  dir.Write("areas.REL", "1 2\n3 0 0 1 0 1 1\n");
  p.areas->Set("Import", (dir / "areas.REL").c_str());  // not the ".rel" road: a line file of no known kind
  EXPECT_EQ(p.areas->ComponentCount(), 2);
  // A byte-order mark in front of the first record changes nothing; a directory is refused.
  dir.Write("marked.rel", "\xEF\xBB\xBF" "1.5 200 1\n4 0 0 100 0 100 100 0 100\n");
  p.areas->Set("LoadRelFile", (dir / "marked.rel").c_str());
  ASSERT_TRUE(p.areas->GetComponent("marked_0001"));
  EXPECT_EQ(p.areas->GetComponent("marked_0001")->Get("Depth"), "1.5");
  p.areas->Set("LoadRelFile", dir.Path().c_str());
  EXPECT_EQ(AK_ErrorText, AK_String("'") + dir.Path().c_str() + "' is no regular file");
  EXPECT_EQ(p.areas->ComponentCount(), 3);
}

// Each line becomes an area; its attributes give the values that are present and above 0.
TEST(ReleaseAreas, LinesImportedAsAreas)
{
  ScratchDir dir;
  const std::string square = "3\n0 0 0\n1 0 0\n1 1 0\n";
  dir.Write("slabs.nxyz", "name=wet\nd0=None\nah=2.5\nrho=300\ntemp=-5\n" + square + "temp=3\n" + square +
                              "d0=0\nah=2.5\nrho=abc\n" + square + "d0=\nah=1.2\n" + square + "-1\n");
  Project p;
  p.areas->Set("Import", (dir / "slabs.nxyz").c_str());
  std::string values;
  for (int i = 0; i < p.areas->ComponentCount(); ++i) {
    AK_Object* a = p.areas->Component(i);
    values += std::string(a->Id() + ":" + a->Get("Depth") + " " + a->Get("Density") + " " + a->Get("Enthalpy")) + "\n";
  }
  EXPECT_EQ(values, "wet:2.5 300 -20500\nslabs_0001:1 125 6150\nslabs_0002:1 125 -20500\nslabs_0003:1.2 125 -20500\n");
}

TEST(ReleaseAreas, MassAnnotationsAndOverlap)
{
  Project p;
  SW_InitialCondition* square = p.Square("slab_0001", 0, 0, 100);
  EXPECT_EQ(square->Get("Mass"), "0");
  square->Set("Depth", "1.5");
  square->Set("Density", "200");
  square->Set("UpdateMass", "");
  EXPECT_EQ(square->Get("Mass"), AK_String::Format("%.15g", 100.0 * 100 * 1.5 * 200));
  EXPECT_EQ(square->Get("Annotations"), "name=slab_0001;d0=1.5;rho=200;");
  SW_InitialCondition* later = p.Square("later", 50, 50, 20);
  EXPECT_EQ(p.areas->AreaAt(60, 60), later);
  EXPECT_EQ(p.areas->AreaAt(10, 10), square);
  EXPECT_EQ(p.areas->AreaAt(200, 10), nullptr);
}

TEST(ReleaseAreas, DepthSources)
{
  Project p;
  SW_InitialCondition* area = p.Square("slab", 0, 0, 50);
  EXPECT_EQ(area->Get("DepthVis"), "w");
  EXPECT_EQ(area->Get("RelDepFuncParVis"), "-");
  area->Set("RelDepFuncName", "uniform");
  EXPECT_EQ(area->Get("Depth"), "2");
  EXPECT_EQ(area->Get("DepthVis"), "r");
  EXPECT_EQ(area->Get("RelDepFuncParVis"), "w");
  area->Set("RelDepFuncPar", "2.5");
  EXPECT_EQ(area->Get("Depth"), "2.5");
  area->Set("RelDepFuncName", "from_ReleaseDHM_a");
  EXPECT_EQ(area->ReleaseDepthAt({5, 5, 40}, {0, 0, 1}), 3);
  EXPECT_EQ(area->ReleaseDepthAt({20, 5, 40}, {0, 0, 1}), 0);  // outside the release-depth mesh
  EXPECT_EQ(area->Get("Depth"), "0.12");  // a covers 1 of the 25 base cells inside
  AK_Object::Destroy(p.a);
  {
    // Without its mesh the area keeps its choice and the depth last found from it, and says so.
    MessageCapture missing;
    area->Set("UpdateMass", "");
    EXPECT_TRUE(missing.Contains("WARNING:release depth mesh 'root/Project/ReleaseDHMs/a' of release area slab is missing, depth 0.12 kept"));
    EXPECT_EQ(area->Get("Depth"), "0.12");
    EXPECT_EQ(area->Get("RelDepFuncName"), "from_ReleaseDHM_a");
    EXPECT_EQ(area->ReleaseDepthAt({5, 5, 40}, {0, 0, 1}), 0.12);
    // A reload sets the choice before the depth: the choice stays, the depth comes back.
    SW_InitialCondition* reloaded = p.Square("reloaded", 0, 0, 50);
    reloaded->Set("RelDepFuncName", "from_ReleaseDHM_a");
    reloaded->Set("Depth", "0.12");
    EXPECT_EQ(reloaded->Get("RelDepFuncName"), "from_ReleaseDHM_a");
    EXPECT_EQ(reloaded->Get("Depth"), "0.12");
  }
  MessageCapture messages;
  area->Set("RelDepFuncName", "const");
  area->Set("Depth", "1.25");
  area->Set("RelDepFuncName", "from_ReleaseDHM_x");
  EXPECT_TRUE(messages.Contains("WARNING:cannot find ReleaseDHM 'root/Project/ReleaseDHMs/x' for release area slab"));
  EXPECT_EQ(area->ReleaseDepthAt({5, 5, 40}, {0, 0, 1}), 1.25);

  // A user's formula is an option once, and takes the place of a shipped one of that name.
  ScratchDir user;
  user.Write("release_depth/slope.cint", "double depth(double x[3], double n[3]) { return 7; }\n");
  user.Write("release_depth/uniform.cint", "double depth(double x[3], double n[3]) { return 3; }\n");
  AK_String saved = UserAttributesDirectory;
  UserAttributesDirectory = (user.Path() + "/").c_str();
  EXPECT_EQ(area->Get("RelDepFuncNameOpts"),
            "const%AK_SEP%from_ReleaseDHM_b%AK_SEP%uniform%AK_SEP%slope%AK_SEP%");  // a is gone
  area->Set("RelDepFuncName", "uniform");
  EXPECT_EQ(area->Get("Depth"), "3");
  // A formula that drops itself while it runs.
  user.Write("release_depth/self.cint", "double depth(double x[3], double n[3]) { return 1; }\n"
                                        "void setpar(char t[]) { set(\"\", \"RelDepFuncName\", \"const\"); }\n");
  area->Set("RelDepFuncName", "self");
  area->Set("RelDepFuncPar", "now");
  EXPECT_EQ(area->Get("RelDepFuncName"), "const");
  // A formula whose "init" switches its own area to a constant depth: the area is constant.
  user.Write("release_depth/quits.cint", "double depth(double x[3], double n[3]) { return 9; }\n"
                                         "void init() { set(\"\", \"RelDepFuncName\", \"const\"); }\n");
  area->Set("Depth", "1.5");
  area->Set("RelDepFuncName", "quits");
  EXPECT_EQ(area->Get("RelDepFuncName"), "const");
  EXPECT_EQ(area->Get("DepthVis"), "w");
  EXPECT_EQ(area->ReleaseDepthAt({5, 5, 40}, {0, 0, 1}), 1.5);
  UserAttributesDirectory = saved;
}

// Each area compiles its own formula: a clone outlives the source's formula and the source.
TEST(ReleaseAreas, CloneThenReselect)
{
  Project p;
  SW_InitialCondition* area = p.Square("slab", 0, 0, 50);
  area->Set("RelDepFuncName", "uniform");
  area->Set("RelDepFuncPar", "4");
  p.areas->Set("Clone", "slab");
  auto* clone = static_cast<SW_InitialCondition*>(p.areas->GetComponent("slab_cloned"));
  ASSERT_TRUE(clone);
  EXPECT_EQ(clone->Get("RelDepFuncPar"), "4");
  EXPECT_EQ(clone->Get("Depth"), "4");
  EXPECT_EQ(clone->Get("NumVertices"), "4");
  area->Set("RelDepFuncName", "const");
  EXPECT_EQ(clone->ReleaseDepthAt({1, 1, 0}, {0, 0, 1}), 4);
  p.areas->Set("DeleteObject", "slab");
  clone->Set("RelDepFuncName", "uniform");
  EXPECT_EQ(clone->ReleaseDepthAt({1, 1, 0}, {0, 0, 1}), 2);
}

TEST(AreasAndLines, Conformance)
{
  for (const char* name : {"SW_InitialCondition", "SW_InitialConditions", "SW_ResistanceArea", "SW_ResistanceAreas",
                           "SW_SourceLine", "SW_SourceLines", "SW_WallLine", "SW_WallLines"}) {
    SCOPED_TRACE(name);
    AK_RunConformanceTest(name);
  }
}
