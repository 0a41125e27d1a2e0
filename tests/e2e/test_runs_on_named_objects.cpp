// What a run's time steps depend on is the objects the simulation names, not their paths: a save
// that only changes a path (a rename) leaves the run's record, while another object under the same
// path (a terrain of other heights) is another input: its state is not continued on it, and the
// saved record names none of the old time steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "ExampleTerrain.h"
#include "SharedProjectProcesses.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string HeldTimeStep() { return "get(\"" + kSimulation + "\", \"CurrentTimeStep\", value);"; }

}  // namespace

// A background run of A goes on while another process renames the mesh it runs on, or the release
// area its group names, and saves, or leaves the rename pending with no save: either changed a path,
// nothing the time steps depend on. The run, interrupted after that, records its last time step,
// and a fresh load holds it.
TEST(RunsOnNamedObjects, ARenameSavedWhileARunGoesOnLeavesItsRecord)
{
  const struct {
    const char* what;
    const char* object;
    const char* id;
    bool saved;
  } cases[] = {
      {"mesh", "Project/DHMs/slope_simulation", "knoll", true},
      {"release area", "Project/ReleaseAreas/slope_0001", "R2", true},
      {"mesh, no save", "Project/DHMs/slope_simulation", "knoll", false},
      {"release area, no save", "Project/ReleaseAreas/slope_0001", "R2", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Long enough that no run reaches its end before the test interrupts it, on a CPU it shares.
    SharedExample p(600, 2);
    TorvuProcess x(p / "x");
    ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "$autosave", "0") + Set(kSimulation, "RunInBackground", "")).ok);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(p.Run() + "/" + File(2)); }));
    const Answer renamed = x.Do(Set(c.object, "Id", c.id) + (c.saved ? SaveProject() : ""));
    ASSERT_TRUE(renamed.ok) << renamed;
    ASSERT_TRUE(fs::is_directory(fs::path(p / ("proj/" + std::string(c.object))).parent_path() / c.id));
    ASSERT_TRUE(x.Do(Set(kSimulation, "Interrupt", "")).ok);
    ASSERT_TRUE(WaitUntil([&] { return !fs::exists(p.Run() + "/.simulation_lock"); }));
    const std::string log = ReadFile(p.Run() + "/start.log");
    const std::string newest = p.TimeSteps().rbegin()->first.substr(0, 15);
    EXPECT_EQ(Recorded(p.Saved()), newest) << Gist(log);
    EXPECT_FALSE(Contains(log, "records no time step")) << Gist(log);
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + HeldTimeStep());
    EXPECT_TRUE(loaded.ok && loaded.text == newest) << loaded;
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(y.Quit(), 0);
  }
}

// A ran to 4 s; then another object takes the name of one it runs on: a terrain of heights times
// 1.05 takes the mesh's name, or an area moved by 20 m takes that of A's release or entrainment
// area, deleted and imported again in a process that holds A's state, or its saved data replaced
// under the saved project. No
// state of the old object goes on on the new one: the save names no time step, the load holds the
// release at 0 s, and no Continue goes on, from the release or from a time step loaded again.
TEST(RunsOnNamedObjects, AnObjectReplacedUnderItsNameIsAnotherObject)
{
  struct Case {
    const char* container;  // of the project
    const char* id;         // the object replaced
    const char* data;       // its saved data file
    const char* file;       // what the other object is imported from
    const char* other;      // the container of the other project that holds it
  } cases[] = {{"DHMs", "slope_simulation", "DHM.dat", "slope.asc", "DHMs"},
               {"ReleaseAreas", "slope_0001", "ReleaseArea.dat", "slope.rel", "ReleaseAreas"},
               {"EntrainmentAreas", "slope_0001", "ReleaseArea.dat", "slope.rel", "ReleaseAreas"}};
  // An entrainment area on A's release, which A's entrainment group names.
  const std::string entrained = Set("Project/EntrainmentAreas", "Import", "../slope.rel") +
                                Set(kSimulation + "/EntrainmentAreas", "AppendObject", "Project/EntrainmentAreas/slope_0001");
  for (const Case& c : cases)
    for (const bool byHand : {false, true}) {
      SCOPED_TRACE(std::string(c.id) + (byHand ? ": its saved data replaced" : ": deleted and imported again"));
      SharedExample p(4, 2);
      WriteScaledTerrain(p / "other", 1.05);
      WriteShiftedRelease(p / "other", 20);
      const std::string container = std::string("Project/") + c.container;
      const std::string path = container + "/" + c.id;
      TorvuProcess x(p / "x");
      const bool entrainment = std::string(c.container) == "EntrainmentAreas";
      ASSERT_TRUE(x.Do(Load() + (entrainment ? entrained : "") + Set(kSimulation, "Run", "")).ok);
      ASSERT_EQ(Recorded(p.Saved()), Step(4));
      const Files steps = p.TimeSteps();
      if (byHand) {
        // The other object saved as a project of its own, its data put in place of the one A names.
        Torvu(p / "other", "other.macro", ImportExampleAsProject());
        const std::string data = "/" + path + "/" + c.data;
        const std::string otherData = "/Project/" + std::string(c.other) + "/" + c.id + "/" + c.data;
        ASSERT_NE(ReadFile(p / ("other/proj" + otherData)), ReadFile(p / ("proj" + data)));
        WriteFile(p / ("proj" + data), ReadFile(p / ("other/proj" + otherData)));
      } else {
        // The name is the deleted object's in the saved paths until the deletion is saved: the
        // other object takes it after that save, and A is given it again.
        const bool mesh = std::string(c.container) == "DHMs";
        const std::string group = kSimulation + "/" + c.container;
        const Answer replaced =
            x.Do(Set(container, "DeleteComponent", c.id) + SaveProject() +
                 Set(container, "Import", std::string("../other/") + c.file) +
                 (mesh ? Set(kSimulation, "Mesh", "../../DHMs/" + std::string(c.id)) : Set(group, "AppendObject", path)) +
                 SaveProject());
        ASSERT_TRUE(replaced.ok) << replaced;
        const std::string holder = mesh ? p.Saved() : ReadFile(p / ("proj/" + group + "/Group.atr"));
        ASSERT_TRUE(Contains(holder, std::string(c.container) + "/" + c.id)) << holder;
        // A Mesh set by hand starts A anew; a process that holds a state may change its groups and
        // keep it, and the load judges the record by what the group names now.
        if (mesh) {
          EXPECT_EQ(Recorded(p.Saved()), "") << Gist(x.Log());
        }
      }
      TorvuProcess y(p / "y");
      const Answer loaded = y.Do(Load() + HeldTimeStep());
      EXPECT_TRUE(loaded.ok && loaded.text.empty()) << loaded;
      if (byHand) {
        EXPECT_TRUE(Contains(y.Log(), "WARNING: Viewer/" + kSimulation + ": its time step " + Step(4) +
                                          " was computed on other objects than those it names now"))
            << Gist(y.Log());
      }
      // Neither from the release nor from a time step of the old object, however chosen: the
      // refusal advises only a run from 0 s.
      for (const std::string& choice : {std::string(), Set(kSimulation, "LoadTimeStep", Step(4)),
                                         Set(kSimulation, "LoadFirstTimeStep", "") + Set(kSimulation, "LoadNextTimeStep", "")}) {
        const Answer continued = y.Do(choice + ContinueTo(6));
        EXPECT_FALSE(continued.ok) << choice << continued;
        EXPECT_TRUE(Contains(continued, "computed on other objects than those it names now: \"Run\" to start over"))
            << choice << continued;
        EXPECT_FALSE(Contains(continued, "LoadTimeStep")) << choice << continued;
        ExpectSameFiles(p.TimeSteps(), steps, "after the refused Continue" + choice);
      }
      EXPECT_EQ(x.Quit(), 0);
      EXPECT_EQ(y.Quit(), 0);
    }
}

// A values file written by a build that did not count the group members vouches for its run as
// far as it counted: a load holds the run's time step. One whose member path named another object
// does not.
TEST(RunsOnNamedObjects, AValuesFileThatDoesNotCountTheMembersStillVouchesForItsRun)
{
  SharedExample p(2, 2);
  TorvuProcess x(p / "x");
  ASSERT_TRUE(x.Do(Load() + Set(kSimulation, "Run", "")).ok);
  EXPECT_EQ(x.Quit(), 0);
  std::string values = ReadFile(p.Run() + "/.simulation_values");
  values.erase(values.find_last_not_of(" \n") + 1);
  const size_t members = values.rfind('+');
  ASSERT_TRUE(members != std::string::npos && values.find('+') < members) << values;
  // The release area's path, with another object under it.
  std::string other = values.substr(members);
  const size_t object = other.find(':'), end = other.find(',');
  ASSERT_TRUE(object != std::string::npos && end != std::string::npos && object < end) << values;
  other.replace(object + 1, end - object - 1, "0123456789abcdef-80");
  for (const bool counted : {false, true}) {
    SCOPED_TRACE(counted ? "another area under its path" : "no members counted");
    WriteFile(p.Run() + "/.simulation_values", values.substr(0, members) + (counted ? other : ""));
    TorvuProcess y(p / (counted ? "y2" : "y1"));
    const Answer loaded = y.Do(Load() + HeldTimeStep());
    EXPECT_TRUE(loaded.ok) << loaded;
    EXPECT_EQ(loaded.text, counted ? "" : Step(2)) << Gist(y.Log());
    EXPECT_EQ(y.Quit(), 0);
  }
}

// An area made after the load and added to A's group, never saved: A's run saves it before its
// first step, a release area and an entrainment area alike, so that the saved project describes
// the series beside it. A fresh load finds every member of A's groups.
TEST(RunsOnNamedObjects, ARunSavesTheAreasItReadsThatWereNeverSaved)
{
  struct Case {
    const char* container;  // of the project and of A
    const char* area;       // the area the import makes
  } cases[] = {{"ReleaseAreas", "rel2_0001"}, {"EntrainmentAreas", "rel2_0001"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.container);
    SharedExample p(2, 2);
    WriteFile(p / "rel2.rel", ReadFile(std::string(TORVU_EXAMPLES) + "/slope.rel"));
    TorvuProcess x(p / "x");
    const std::string area = std::string("Project/") + c.container + "/" + c.area;
    const Answer ran = x.Do(Load() + Set(std::string("Project/") + c.container, "Import", "../rel2.rel") +
                            Set(kSimulation + "/" + c.container, "AppendObject", area) + Set(kSimulation, "Run", ""));
    ASSERT_TRUE(ran.ok) << ran;
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_TRUE(fs::exists(p / ("proj/" + area + "/ReleaseArea.dat"))) << Gist(x.Log());
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + "get(\"" + kSimulation + "/" + c.container + "\", \"ContainedObjectsList\", value);");
    EXPECT_TRUE(loaded.ok && Contains(loaded, c.area)) << loaded;
    EXPECT_EQ(y.Quit(), 0);
  }
}

// B loaded the project and ran A to 2 s; then X renames A's release area or deletes it, and saves.
// B's Run and Continue would write its group, which names slope_0001, over the one X saved: both
// are refused before they write anything, naming the group.
TEST(RunsOnNamedObjects, ARunNeverWritesItsGroupOverOneAnotherProcessSavedSince)
{
  const std::string area = "Project/ReleaseAreas/slope_0001";
  const std::string renameArea = Set(area, "Id", "R2") + SaveProject();
  const std::string deleteArea = Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject();
  for (const std::string* other : {&renameArea, &deleteArea}) {
    SCOPED_TRACE(*other);
    SharedExample p(2, 2);
    TorvuProcess b(p / "b"), x(p / "x");
    ASSERT_TRUE(b.Do(Load() + Set(kSimulation, "Run", "")).ok);
    ASSERT_TRUE(x.Do(Load() + *other).ok);
    const Files before = Tree(p / "proj");
    for (const std::string& command : {Set(kSimulation, "Run", ""), ContinueTo(4)}) {
      const Answer refused = b.Do(command);
      EXPECT_FALSE(refused.ok) << command;
      EXPECT_TRUE(Contains(refused, "Viewer/" + kSimulation + ": not run: Viewer/" + kSimulation +
                                        "/ReleaseAreas was saved by another process since this process read it"))
          << refused;
      ExpectSameFiles(Tree(p / "proj"), before, command + Gist(b.Log()));
    }
    EXPECT_EQ(b.Quit(), 0);
    EXPECT_EQ(x.Quit(), 0);
  }
}

// A simulation created after the load and never saved, updated and run in the foreground: its run
// saves it before its first step, so that its time steps never stand beside no saved simulation
// (which a later simulation of that name would take for its own).
TEST(RunsOnNamedObjects, AForegroundRunOfANeverSavedSimulationSavesIt)
{
  SharedExample p(2, 2);
  TorvuProcess x(p / "x");
  const std::string b = "Project/Simulations/B";
  const Answer ran = x.Do(Load() + Set("Project/Simulations", "CreateSimulation", "B") +
                          Set(b + "/ReleaseAreas", "AppendAllObjectsOfType", "ReleaseArea") + Set(b, "EndTime", "2") +
                          Set(b, "Update", "") + Set(b, "Run", ""));
  ASSERT_TRUE(ran.ok) << ran;
  EXPECT_EQ(x.Quit(), 0);
  EXPECT_TRUE(fs::exists(p / ("proj/" + b + "/" + File(2)))) << Gist(x.Log());
  const std::string saved = ReadFile(p / ("proj/" + b + "/ShallowWaterSimulation.atr"));
  EXPECT_EQ(SavedValue(saved, "EndTime"), "2") << Gist(x.Log());
  EXPECT_EQ(Recorded(saved), Step(2));
}

// A ran to 2 s; B loaded the project, and then X replaced A's mesh (a terrain of heights times 1.05
// imported under its name once its deletion is saved), replaced its release area (one moved by 20 m,
// the same way), or deleted the mesh, and saved. B holds objects that no saved file describes any more: each run of it, in the foreground
// or the background, and a deletion of time steps are refused before they write anything, naming
// the object and the way on. A fresh load answers success and holds no time step computed on
// objects the saved project does not describe.
TEST(RunsOnNamedObjects, WhatAnotherProcessReplacedOrDeletedIsNeverRunOn)
{
  const std::string mesh = "Project/DHMs/slope_simulation", area = "Project/ReleaseAreas/slope_0001";
  struct Case {
    std::string other;   // what X does
    std::string object;  // the object B's refusal names
  } cases[] = {
      {Set("Project/DHMs", "DeleteComponent", "slope_simulation") + SaveProject() +
           Set("Project/DHMs", "Import", "../other/slope.asc") + SaveProject(),
       mesh},
      {Set("Project/ReleaseAreas", "DeleteComponent", "slope_0001") + SaveProject() +
           Set("Project/ReleaseAreas", "Import", "../other/slope.rel") +
           Set(kSimulation + "/ReleaseAreas", "AppendObject", area) + SaveProject(),
       area},
      {Set("Project/DHMs", "DeleteComponent", "slope_simulation") + SaveProject(), mesh},
  };
  const std::string commands[] = {
      Set(kSimulation, "Run", ""), ContinueTo(4), Set(kSimulation, "EndTime", "4") + Set(kSimulation, "ContinueInBackground", ""),
      Set(kSimulation, "RunInBackground", ""), Set(kSimulation, "DeleteTimesteps", "except last")};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.other);
    SharedExample p(2, 2);
    WriteScaledTerrain(p / "other", 1.05);
    WriteShiftedRelease(p / "other", 20);
    Torvu(p / "setup", "run.macro", Load() + Set(kSimulation, "Run", ""));
    TorvuProcess b(p / "b"), x(p / "x");
    ASSERT_TRUE(b.Do(Load()).ok);
    const Answer changed = x.Do(Load() + c.other);
    ASSERT_TRUE(changed.ok) << changed;
    const Files before = Tree(p / "proj");
    for (const std::string& command : commands) {
      const Answer refused = b.Do(command);
      EXPECT_FALSE(refused.ok) << command;
      EXPECT_TRUE(Contains(refused, "Viewer/" + c.object + ", which the run reads, was ") &&
                  Contains(refused, " by another process since this process read it: \"LoadProject\" to take it as saved"))
          << command << refused;
      ExpectSameFiles(Tree(p / "proj"), before, command + Gist(b.Log()));
    }
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + HeldTimeStep());
    EXPECT_TRUE(loaded.ok && loaded.text.empty()) << loaded;
    EXPECT_EQ(b.Quit(), 0);
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(y.Quit(), 0);
  }
}

// What a run reads that this process changed or made and never saved: A's terrain smoothed, or a
// raster of release depths (about 3 m) imported into ReleaseDHMs and chosen by A's area (beside an
// area of a constant depth, so that the release holds snow). A's run saves it before its first
// step; after a quit with no save a fresh load answers success, finds it as the run read it and
// holds A's time step. Where that save fails, the run is refused, naming the object, and writes no
// time step.
TEST(RunsOnNamedObjects, ARunSavesWhatItReadsThatWasChangedOrMadeSinceTheLastSave)
{
  const std::string area = "Project/ReleaseAreas/slope_0001";
  const std::string smoothed = Set("Project/DHMs/slope_simulation", "Smooth", "");
  const std::string depth = Set("Project/ReleaseDHMs", "Import", "../depth/slope.asc") +
                            Set(area, "BaseMeshName", "../../DHMs/slope_simulation") +
                            Set(area, "RelDepFuncName", "from_ReleaseDHM_slope") +
                            Set("Project/ReleaseAreas", "Import", "../slope.rel") +
                            Set(kSimulation + "/ReleaseAreas", "AppendObject", "Project/ReleaseAreas/slope_0002");
  struct Case {
    std::string commands;  // what this process changes or makes
    std::string data;      // the data file of what it is
    std::string object;    // a refusal names it
    bool fails;            // that data file's write fails
  } cases[] = {
      {smoothed, "Project/DHMs/slope_simulation/DHM.dat", "Project/DHMs/slope_simulation", false},
      {depth, "Project/ReleaseDHMs/slope/DHM.dat", "Project/ReleaseDHMs/slope", false},
      {smoothed, "Project/DHMs/slope_simulation/DHM.dat", "Project/DHMs/slope_simulation", true},
      {depth, "Project/ReleaseDHMs/slope/DHM.dat", "Project/ReleaseDHMs/slope", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data + (c.fails ? ", its write failing" : ""));
    SharedExample p(2, 2);
    // The example terrain's grid, its heights scaled to about 3 m.
    WriteScaledTerrain(p / "depth", 0.0015);
    const std::string data = p / ("proj/" + c.data);
    const std::string before = fs::exists(data) ? ReadFile(data) : "";
    const Files steps = p.TimeSteps();
    std::optional<FailOnce> fail;
    if (c.fails) fail.emplace("write:DHM.dat");
    TorvuProcess x(p / "x");
    fail.reset();
    const Answer ran = x.Do(Load() + c.commands + Set(kSimulation, "Run", ""));
    EXPECT_EQ(x.Quit(), 0);
    if (c.fails) {
      EXPECT_FALSE(ran.ok);
      EXPECT_TRUE(Contains(ran, "Viewer/" + c.object + ", which the run reads, could not be saved")) << ran;
      ExpectSameFiles(p.TimeSteps(), steps, "after the refused Run" + Gist(x.Log()));
      continue;
    }
    ASSERT_TRUE(ran.ok) << ran;
    EXPECT_TRUE(fs::exists(data) && ReadFile(data) != before) << Gist(x.Log());
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + HeldTimeStep());
    EXPECT_TRUE(loaded.ok && loaded.text == Step(2)) << loaded;
    EXPECT_FALSE(Contains(y.Log(), "cannot find ReleaseDHM")) << Gist(y.Log());
    EXPECT_EQ(y.Quit(), 0);
  }
}

// A ran to 2 s; B loaded the project, and then X renamed the mesh A runs on, or A itself, and saved.
// What X saved names an object B does not hold, or moved the series B holds away from under it:
// B's Continue, in the foreground or the background, is refused before it writes anything, and a
// fresh load still holds A's state.
TEST(RunsOnNamedObjects, AContinueRefusedForWhatAnotherProcessSavedSinceWritesNothing)
{
  const std::string renameMesh = Set("Project/DHMs/slope_simulation", "Id", "knoll") + SaveProject();
  const std::string meshRefusal = "Viewer/" + kSimulation +
                                  " was saved by another process since this process read it, its Mesh naming "
                                  "../../DHMs/knoll, which this process does not hold: \"LoadProject\" to take it as saved";
  const std::string renameA = Set(kSimulation, "Id", "B") + SaveProject();
  const std::string gone = "have been removed since this process took it";
  const std::string inBackground = Set(kSimulation, "$autosave", "0") + Set(kSimulation, "ContinueInBackground", "");
  struct Case {
    std::string other;    // what X does
    std::string command;  // what B is refused
    std::string refusal;  // what the refusal holds
    std::string held;     // the simulation a fresh load holds A's state in
  } cases[] = {
      {renameMesh, ContinueTo(4), meshRefusal, kSimulation},
      {renameA, ContinueTo(4), gone, "Project/Simulations/B"},
      {renameA, Set(kSimulation, "EndTime", "4") + inBackground, gone, "Project/Simulations/B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.other + c.command);
    SharedExample p(2, 2);
    Torvu(p / "setup", "run.macro", Load() + Set(kSimulation, "Run", ""));
    TorvuProcess b(p / "b"), x(p / "x");
    ASSERT_TRUE(b.Do(Load()).ok);
    ASSERT_TRUE(x.Do(Load() + c.other).ok);
    const Files before = Tree(p / "proj");
    const bool aStood = fs::exists(p / ("proj/" + kSimulation));
    const Answer refused = b.Do(c.command);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(Contains(refused, c.refusal)) << refused;
    ExpectSameFiles(Tree(p / "proj"), before, Gist(b.Log()));
    EXPECT_EQ(fs::exists(p / ("proj/" + kSimulation)), aStood);
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load() + "get(\"" + c.held + "\", \"CurrentTimeStep\", value);");
    EXPECT_TRUE(loaded.ok && loaded.text == Step(2)) << loaded;
    EXPECT_EQ(b.Quit(), 0);
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_EQ(y.Quit(), 0);
  }
}

// Objects made in the process and renamed before their first save: a terrain that its import
// names after its file and renames as the simulation mesh (hill, then hill_simulation), and an
// area imported as rel2_0001 and renamed Top by hand. A Run over them saves each where the path
// that names it leads; a quit with no save after it leaves a project whose fresh load answers
// success and binds every reference, each to the object run on.
TEST(RunsOnNamedObjects, ARunSavesObjectsRenamedBeforeTheirFirstSaveWhereTheirPathsLead)
{
  struct Case {
    std::string commands;      // what makes the object and names it in A, before the Run
    std::string saved, first;  // where it must stand after the Run, and where it must not
    std::string check;         // a get that the fresh load answers from it
  };
  const std::string mesh = "Project/DHMs/hill_simulation", area = "Project/ReleaseAreas/Top";
  const Case cases[] = {
      {Set("Project/DHMs", "SimulationDefaultCellSize", "10") + Set("Project/DHMs", "Import", "../hill.asc") +
           Set(kSimulation, "Mesh", "../../DHMs/hill_simulation"),
       mesh + "/DHM.dat", "Project/DHMs/hill", "get(\"" + kSimulation + "\", \"Mesh\", value);"},
      {Set("Project/ReleaseAreas", "Import", "../rel2.rel") + Set("Project/ReleaseAreas/rel2_0001", "Id", "Top") +
           Set(kSimulation + "/ReleaseAreas", "AppendObject", area),
       area + "/ReleaseArea.dat", "Project/ReleaseAreas/rel2_0001",
       "get(\"" + kSimulation + "/ReleaseAreas\", \"ContainedObjectsList\", value);"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved);
    SharedExample p(2, 2);
    WriteFile(p / "hill.asc", ReadFile(std::string(TORVU_EXAMPLES) + "/slope.asc"));
    WriteFile(p / "rel2.rel", ReadFile(std::string(TORVU_EXAMPLES) + "/slope.rel"));
    TorvuProcess x(p / "x");
    const Answer ran = x.Do(Load() + c.commands + Set(kSimulation, "Run", ""));
    ASSERT_TRUE(ran.ok) << ran;
    EXPECT_EQ(x.Quit(), 0);
    EXPECT_TRUE(fs::exists(p / ("proj/" + c.saved))) << Gist(x.Log());
    EXPECT_FALSE(fs::exists(p / ("proj/" + c.first))) << Gist(x.Log());
    TorvuProcess y(p / "y");
    const Answer loaded = y.Do(Load());
    EXPECT_TRUE(loaded.ok) << loaded;
    const std::string named = y.Do(c.check).text, object = c.saved.substr(0, c.saved.rfind('/'));
    EXPECT_TRUE(Contains(named, object.substr(object.rfind('/') + 1))) << named;
    // Bound: the object answers what its saved files hold, and A holds the time step the run recorded.
    EXPECT_NE(y.Get(object, "Id"), "") << object;
    EXPECT_EQ(y.Get(kSimulation, "CurrentTimeStep"), Step(2)) << Gist(y.Log());
    EXPECT_EQ(y.Quit(), 0);
  }
}
