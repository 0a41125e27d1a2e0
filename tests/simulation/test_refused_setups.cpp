// Set-ups that a run refuses before it touches a file, and those it still runs: releases that
// make no particle, an area partly off the mesh, a "Continue" with nothing to compute and
// the range of the smoothed-particle mode.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "AK_FrameworkState.h"
#include "SW_Flow.h"
#include "SW_SimulationStatus.h"
#include "SW_SourceLine.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

// A plane of 5 m cells, 200 m by 100 m, falling towards +x (flat when `slope` is 0), with
// the 2 m slab "slab" over 20 <= x <= 50, 30 <= y <= 70; the simulation "Avalanche1" releases
// it and runs to 1 s in steps of 0.1 s, with outputs every 0.5 s, in a project directory.
struct Slope : SimulationProject {
  SW_Simulation* sim;
  SW_InitialConditions* areas;
  SW_InitialCondition* slab;
  ScratchDir dir;
  std::string run;
  explicit Slope(double slope = 0.5)
      : SimulationProject(40, 20, 5, [slope](double x, double) { return (200 - x) * slope; })
  {
    areas = new SW_InitialConditions("ReleaseAreas", &root);
    root.AddComponent(areas);
    slab = Area("slab", 20, 30, 50, 70);
    sim = Add("Avalanche1", true);
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", "project/ReleaseAreas/slab");
    sim->Set("DeltaT", "0.1");
    sim->Set("DeltaOut", "0.5");
    sim->Set("EndTime", "1");
    run = RunIn(dir, sim);
  }
  // A 2 m release area over the rectangle, not yet released by the simulation.
  SW_InitialCondition* Area(const char* id, int x0, int y0, int x1, int y1)
  {
    SW_InitialCondition* a = areas->NewReleaseArea(id);
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
      a->Set("AppendPoint", AK_String::Format("%d %d 0", x, y));
    a->Set("Depth", "2");
    return a;
  }
  // The simulation's only release area becomes the one given.
  void ReleaseOnly(const char* id)
  {
    sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
    sim->GetComponent("ReleaseAreas")->Set("AppendObject", (std::string("project/ReleaseAreas/") + id).c_str());
  }
  // The time-step files of the run directory with their contents.
  std::map<std::string, std::string> TimeSteps() const
  {
    std::map<std::string, std::string> files;
    for (const AK_String& name : AK_ListDirectory(run.c_str(), "TimeStep"))
      files[name.c_str()] = ReadFile(run + "/" + name.c_str());
    return files;
  }
};

// A release-depth formula of the user's own, in a directory of user class files.
struct UserFormula {
  ScratchDir user;
  AK_String saved = UserAttributesDirectory;
  explicit UserFormula(const std::string& body)
  {
    user.Write("release_depth/mine.cint", "double depth(double x[3], double n[3]) { " + body + " }\n");
    UserAttributesDirectory = (user.Path() + "/").c_str();
  }
  ~UserFormula() { UserAttributesDirectory = saved; }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Each set-up below leaves the run nothing to move or numbers it cannot carry. The run is
// refused before anything is written: the earlier run's files stay as they were, and a run
// that a background start announced ends "finished" with the reason in the info file.
TEST(RefusedSetups, ReleasesThatMakeNoParticleAreRefusedBeforeAnyFileChanges)
{
  struct Case {
    const char* name;
    void (*prepare)(Slope&);
    const char* reason;  // a part of the reason
    const char* formula = nullptr;  // the body of a user's release-depth formula
  } cases[] = {
      {"area entirely off the mesh",
       [](Slope& p) {
         p.Area("far", 300, 30, 350, 70);
         p.ReleaseOnly("far");
       },
       "kg covers no cell of the mesh"},
      {"depth 0", [](Slope& p) { p.slab->Set("Depth", "0"); }, "the release holds no snow (0 kg)"},
      {"negative depth", [](Slope& p) { p.slab->Set("Depth", "-1"); }, "release area slab has the depth -1 m at "},
      {"area density 0", [](Slope& p) { p.slab->Set("Density", "0"); }, "the release holds no snow (0 kg)"},
      {"negative area density", [](Slope& p) { p.slab->Set("Density", "-200"); },
       "release area slab: its depth 2 m at its density -200 is -2 m at the simulation's density 200"},
      {"area density 1e300", [](Slope& p) { p.slab->Set("Density", "1e300"); },
       "release area slab: its depth 2 m at its density 1e+300 is inf m"},
      {"formula without a number", [](Slope& p) { p.slab->Set("RelDepFuncName", "mine"); },
       "release area slab has the depth ", "return sqrt(-1.0);"},
      {"negative formula", [](Slope& p) { p.slab->Set("RelDepFuncName", "mine"); },
       "release area slab has the depth -0.5 m at ", "return -0.5;"},
      {"formula dividing by zero", [](Slope& p) { p.slab->Set("RelDepFuncName", "mine"); },
       "release area slab has the depth ", "return 1.0 / (x[0] - x[0]);"},
      {"particle count beyond the particle set",
       [](Slope& p) {
         p.sim->Set("MassPerParticleDeterminationMethod", "number of particles");
         p.sim->Set("NumParticles", "300000000");
       },
       "3e+08 particles are too many, at most 268435456 can be made"},
      {"depth beyond the particle set",
       [](Slope& p) {
         p.sim->Set("MassPerParticleDeterminationMethod", "direct");
         p.sim->Set("MassPerParticle", "100");
         p.slab->Set("Depth", "1e6");
       },
       "particles are too many, at most 268435456 can be made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<UserFormula> formula(c.formula ? new UserFormula(c.formula) : nullptr);
    Slope p;
    p.sim->Set("Density", "200");
    p.slab->Set("Density", "200");
    p.sim->Set("Run", "");
    ASSERT_STREQ(AK_ErrorText, "");
    const std::map<std::string, std::string> before = p.TimeSteps();
    ASSERT_EQ(before.size(), 3u);  // 0, 0.5 and 1 s
    SW_WriteStatusFile(p.run.c_str(), "started");

    c.prepare(p);
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    const std::string error = AK_ErrorText.c_str();
    EXPECT_EQ(error.rfind("project/Simulations/Avalanche1: not run: ", 0), 0u) << error;
    EXPECT_TRUE(Has(error, c.reason)) << error;
    EXPECT_TRUE(p.TimeSteps() == before) << "a time-step file was written, replaced or removed";
    EXPECT_FALSE(messages.HasPrefix("computing time step "));
    EXPECT_STREQ(SW_ReadStatusFile(p.run.c_str()), "finished");
    const std::string info = SW_ReadInfoFile(p.run.c_str()).c_str();
    EXPECT_EQ(info.rfind("not run: ", 0), 0u) << info;
    EXPECT_TRUE(Has(info, c.reason)) << info;
    EXPECT_TRUE(messages.Contains(std::string("WARNING: ") + (error.c_str() + error.find(": not run: ") + 11)));
  }
}

// Snow that enters during the run carries it without any particle from the release.
TEST(RefusedSetups, ARunFedBySourcesAloneStillRuns)
{
  for (const char* source : {"source line", "point source"}) {
    SCOPED_TRACE(source);
    Slope p;
    p.sim->Set("MassPerParticleDeterminationMethod", "direct");
    p.sim->Set("MassPerParticle", "100");
    if (std::string(source) == "source line") {
      p.slab->Set("Depth", "0");  // a release of nothing: the run needs a release area
      auto* lines = new SW_SourceLines("SourceLines", &p.root);
      p.root.AddComponent(lines);
      lines->Set("AddSourceLine", "gully");
      AK_Object* line = lines->GetComponent("gully");
      line->Set("StartPoint", "40 40");
      line->Set("EndPoint", "40 60");
      line->Set("MassFlow", "5000");
      p.sim->GetComponent("SourceLines")->Set("AppendObject", "project/SourceLines/gully");
    } else {
      p.Area("far", 300, 30, 350, 70);
      p.ReleaseOnly("far");
      for (auto [name, value] : {std::pair{"$source_strength", "20000"}, {"$source_duration", "0.45"},
                                 {"$source_radius", "5"}, {"$source_point", "100 50"}, {"$source_velo", "0"}})
        p.sim->SetVariable(name, value);
    }
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_EQ(p.TimeSteps().size(), 3u);
    EXPECT_GT(p.sim->Particles()->Count(), 0);
    EXPECT_STREQ(SW_ReadStatusFile(p.run.c_str()), "finished");
  }
}

// An area partly off the mesh puts its whole mass on its part on the mesh (except with
// "direct", which corrects no mass), and one warning per set-up names both masses.
TEST(RefusedSetups, AnAreaPartlyOffTheMeshKeepsItsWholeMassAndIsWarnedOf)
{
  for (const char* method : {"particles per cell", "direct"}) {
    SCOPED_TRACE(method);
    const bool direct = std::string(method) == "direct";
    Slope p(0);  // flat: the areas of the cells and of the release area are plain rectangles
    p.sim->Set("Density", "200");
    p.Area("edge", 20, -20, 50, 40)->Set("Density", "200");  // 1800 m², 1200 m² on the mesh
    p.sim->Set("MassPerParticleDeterminationMethod", method);
    p.sim->Set("MassPerParticle", "100");
    p.ReleaseOnly("edge");
    MessageCapture messages;
    EXPECT_STREQ(p.sim->Initialize(), "");
    const double whole = 1800 * 2 * 200, onMesh = 1200 * 2 * 200;
    EXPECT_EQ(messages.WithPrefix("WARNING: release area"),
              std::vector<std::string>{AK_String::Format("WARNING: release area edge lies partly off the mesh: its cells "
                                                         "on the mesh hold %g kg of its %g kg, %s", onMesh, whole,
                                                         direct ? "only these are released"
                                                                : "the particles on the mesh carry the whole mass").c_str()});
    EXPECT_NEAR(p.sim->Particles()->TotalMass(), direct ? onMesh : whole, whole * 1e-6);
    for (const AK_Vec3& x : p.sim->Particles()->Positions()) EXPECT_TRUE(x.y >= 0 && x.y <= 40 && x.x >= 20 && x.x <= 50);
  }
  // An area wholly on the mesh is no reason for a warning.
  Slope p;
  MessageCapture messages;
  p.sim->Initialize();
  EXPECT_FALSE(messages.HasPrefix("WARNING: release area"));
}

// "Continue" with an end time not after the current time would only remove the later files.
TEST(RefusedSetups, AContinueThatWouldOnlyDeleteIsRefused)
{
  for (const char* endTime : {"0.5", "1", "0"}) {
    SCOPED_TRACE(endTime);
    Slope p;
    p.sim->Set("Run", "");
    p.sim->Set("LoadTimeStep", "at_0000001.0000");
    const std::map<std::string, std::string> before = p.TimeSteps();
    ASSERT_EQ(before.size(), 3u);
    p.sim->Set("EndTime", endTime);
    SW_WriteStatusFile(p.run.c_str(), "started");
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->Set("Continue", "");
    EXPECT_EQ(std::string(AK_ErrorText.c_str()),
              "project/Simulations/Avalanche1: nothing to continue: EndTime " + std::string(endTime) +
                  " s is not after the current time 1 s");
    EXPECT_TRUE(p.TimeSteps() == before);
    EXPECT_FALSE(messages.HasPrefix("computing time step "));
    EXPECT_STREQ(SW_ReadStatusFile(p.run.c_str()), "finished");
    EXPECT_STREQ(SW_ReadInfoFile(p.run.c_str()), "not run: end time not after the current time\n");
  }
}

// The kernel radius runs from a tenth of a cell to ten cells; the rest is refused when set.
TEST(RefusedSetups, SmoothedParticleModeHasARange)
{
  struct Case {
    const char* value;
    bool accepted;
  } cases[] = {{"-2147483648", false}, {"2147483647", false}, {"11", false}, {"-11", false},
               {"-10", true}, {"10", true}, {"0", true}, {"-2", true}, {"3", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Slope p;
    p.sim->Set("SphMode", "1");
    AK_ErrorText = "";
    p.sim->Set("SphMode", c.value);
    EXPECT_EQ(AK_ErrorText.IsEmpty(), c.accepted) << AK_ErrorText;
    EXPECT_STREQ(p.sim->Get("SphMode"), c.accepted ? c.value : "1");
  }
  SW_FlowParameters par;
  par.resolution = 5;
  for (int mode : {INT_MIN, INT_MAX, -3, 0}) {
    par.sphMode = mode;
    const double expected = mode < 0 ? 5 / -double(mode) : 5 * double(mode);
    EXPECT_EQ(SW_KernelRadius(par), expected) << mode;
  }
}
