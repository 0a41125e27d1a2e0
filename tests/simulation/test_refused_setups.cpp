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
// refused before anything is written: the earlier run's files and state stay as they were, and a
// run that a background start announced ends "finished" with the reason in the info file.
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
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "started"));
    const std::string ran = SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str();
    const double time = p.sim->CurrentTime, peak = p.sim->PeakKineticEnergy;
    ASSERT_GT(peak, 0);

    c.prepare(p);
    MessageCapture messages;
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    const std::string error = AK_ErrorText.c_str();
    EXPECT_EQ(error.rfind("project/Simulations/Avalanche1: not run: ", 0), 0u) << error;
    EXPECT_TRUE(Has(error, c.reason)) << error;
    EXPECT_TRUE(p.TimeSteps() == before) << "a time-step file was written, replaced or removed";
    EXPECT_FALSE(messages.HasPrefix("computing time step "));
    // The refusal writes nothing of its own: only the take-over of the start that is gone did.
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()), "its run did not finish, its process is gone; last: " + ran);
    EXPECT_TRUE(messages.Contains(std::string("WARNING: ") + (error.c_str() + error.find(": not run: ") + 11)));
    // The simulation still holds the state the run before left, its peak included.
    EXPECT_TRUE(p.sim->CurrentTime == time && p.sim->PeakKineticEnergy == peak);
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
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
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

// A "Continue" is refused before any file changes when its end time is not after the time it
// is asked at (it would only remove the later files, or, starting over, compute them anew),
// or when it would start over from 0 s with nothing to release; its background form refuses
// the same in this process, starting nothing.
TEST(RefusedSetups, AContinueThatWouldOnlyDeleteOrReleaseNothingIsRefused)
{
  struct Case {
    const char* step;
    const char* endTime;
    bool particles;       // the loaded state keeps its particles
    bool release;         // the simulation keeps its release area
    const char* reason;   // ContinueInBackground has a message of its own for a missing release
  } cases[] = {
      {"at_0000001.0000", "0.5", true, true, "nothing to continue: EndTime 0.5 s is not after the current time 1 s"},
      {"at_0000001.0000", "1", true, true, "nothing to continue: EndTime 1 s is not after the current time 1 s"},
      {"at_0000001.0000", "0", true, true, "nothing to continue: EndTime 0 s is not after the current time 1 s"},
      {"at_0000000.0000", "0", true, true, "nothing to continue: EndTime 0 s is not after the current time 0 s"},
      {"at_0000001.0000", "0.5", false, true, "nothing to continue: EndTime 0.5 s is not after the current time 1 s"},
      {"at_0000000.0000", "1", true, false, "no release areas"},
      {"at_0000001.0000", "2", false, false, "no release areas"},
  };
  for (const Case& c : cases)
  for (const char* command : {"Continue", "ContinueInBackground"}) {
    if (std::string(command) == "ContinueInBackground" && !c.release) continue;
    SCOPED_TRACE(std::string(c.step) + " to " + c.endTime + (c.particles ? "" : " without particles") +
                 (c.release ? "" : " without release") + " " + command);
    Slope p;
    p.sim->Set("Run", "");
    p.sim->Set("LoadTimeStep", c.step);
    const std::map<std::string, std::string> before = p.TimeSteps();
    ASSERT_EQ(before.size(), 3u);
    if (!c.particles) p.sim->Particles()->Clear();
    if (!c.release) p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
    p.sim->Set("EndTime", c.endTime);
    MessageCapture messages;
    AK_ErrorText = "";
    const std::string info = SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str();
    p.sim->Set(command, "");
    EXPECT_EQ(std::string(AK_ErrorText.c_str()), std::string("project/Simulations/Avalanche1: not run: ") + c.reason);
    EXPECT_TRUE(p.TimeSteps() == before);
    EXPECT_FALSE(messages.HasPrefix("computing time step "));
    EXPECT_FALSE(AK_FileExists((p.run + "/start.macro").c_str()));
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()), info);  // a refusal writes nothing
  }
}

// A "Continue" from a state without particles starts the run again from 0 s: it says so, and
// the files it replaces are those of a new run. One that keeps its particles goes on without
// a release area.
TEST(RefusedSetups, AContinueWithoutParticlesWarnsThatItStartsAgain)
{
  Slope p;
  p.sim->Set("Run", "");
  const std::map<std::string, std::string> run = p.TimeSteps();
  p.sim->Set("LoadTimeStep", "at_0000001.0000");
  p.sim->Particles()->Clear();
  p.sim->Set("EndTime", "1.5");  // after the 1 s it is asked at
  MessageCapture messages;
  AK_ErrorText = "";
  p.sim->Set("Continue", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_TRUE(messages.Contains("WARNING: project/Simulations/Avalanche1: no particle is left at 1 s: the run starts "
                                "again from 0 s and replaces its time steps"));
  EXPECT_NEAR(p.sim->CurrentTime, 1.5, 1e-9);
  // The steps to 1 s are those of the first run, written anew.
  std::map<std::string, std::string> steps = p.TimeSteps();
  EXPECT_EQ(steps.erase("at_0000001.5000.TimeStep"), 1u);
  EXPECT_TRUE(steps == run);

  p.sim->GetComponent("ReleaseAreas")->Set("RemoveAllObjects", "");
  p.sim->Set("EndTime", "2");
  p.sim->Set("Continue", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(p.TimeSteps().count("at_0000002.0000.TimeStep"), 1u);
}

// Every whole number is a smoothed-particle mode: set, saved and loaded as it is. A radius so
// small that its neighbour grid cannot be counted is refused by the run, before any file
// changes; a radius far beyond the mesh runs with one bucket.
TEST(RefusedSetups, EverySmoothedParticleModeLoadsAndOnlyAnUncountableGridIsRefused)
{
  for (const char* value : {"-2147483648", "2147483647", "1000", "20", "11", "-11", "-1000", "0"}) {
    SCOPED_TRACE(value);
    Slope p;
    AK_ErrorText = "";
    p.sim->Set("SphMode", value);
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_STREQ(p.sim->Get("SphMode"), value);
    ScratchDir saved;
    p.sim->SaveProjectAs(saved.Path().c_str());
    ASSERT_STREQ(AK_ErrorText, "");
    SW_Simulation* loaded = p.Add("loaded");
    MessageCapture messages;
    loaded->LoadProject(saved.Path().c_str());
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_FALSE(messages.HasPrefix("ERROR"));
    EXPECT_STREQ(loaded->Get("SphMode"), value);
  }

  // The 200 m by 100 m mesh of 5 m cells: a grid of buckets as wide as the radius needs
  // (200 / r + 1) x (100 / r + 1) of them.
  struct Case {
    int mode;
    bool runs;
  } cases[] = {{INT_MIN, false}, {-20000, false}, {-1000, true}, {1000, true}, {INT_MAX, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Slope p;
    p.sim->Set("MassPerParticleDeterminationMethod", "particles per cell");
    p.sim->Set("NumParticlesPerCell", "1");
    p.sim->Set("EndTime", "0.2");
    p.sim->Set("Run", "");
    ASSERT_STREQ(AK_ErrorText, "");
    const std::map<std::string, std::string> before = p.TimeSteps();
    EXPECT_TRUE(SW_WriteStatusFile(p.run.c_str(), "started"));
    const std::string ran = SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str();
    p.sim->Set("SphMode", AK_String::Format("%d", c.mode));
    p.sim->Set("EndTime", "1");
    AK_ErrorText = "";
    p.sim->Set("Run", "");
    const std::string error = AK_ErrorText.c_str();
    if (c.runs) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(p.TimeSteps().size(), 3u);
      for (const AK_Vec3& x : p.sim->Particles()->Positions()) ASSERT_TRUE(std::isfinite(x.x + x.y + x.z));
      continue;
    }
    const double r = 5 / -double(c.mode);
    const std::string reason = AK_String::Format(
        "the kernel radius %g m (SphMode %d, cells of 5 m) needs a neighbour grid of %.15g x %.15g buckets, more "
        "than the 2147483646 a grid can count",
        r, c.mode, std::floor(200 / r + 1), std::floor(100 / r + 1)).c_str();
    EXPECT_EQ(error, "project/Simulations/Avalanche1: not run: " + reason);
    EXPECT_TRUE(p.TimeSteps() == before);
    // The refusal writes nothing of its own: only the take-over of the start that is gone did.
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
    EXPECT_EQ(std::string(SW_QueryAnswer(SW_ReadInfoFile(p.run.c_str()), "").c_str()), "its run did not finish, its process is gone; last: " + ran);
  }
  SW_FlowParameters par;
  par.resolution = 5;
  for (int mode : {INT_MIN, INT_MAX, -3, 0}) {
    par.sphMode = mode;
    const double expected = mode < 0 ? 5 / -double(mode) : 5 * double(mode);
    EXPECT_EQ(SW_KernelRadius(par), expected) << mode;
  }
}
