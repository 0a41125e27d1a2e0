// Time-step files of a simulation with real particles and fields (round trip, every cut of a
// file, unknown tags, an old header, failed writes, an independent reader), the time-step
// list, and what a background start refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "AK_Container.h"
#include "AK_FrameworkState.h"
#include "AK_ProcessLock.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

std::vector<float> Values(const AK_Array<float>& a) { return std::vector<float>(a.begin(), a.end()); }

// A simulation at 5 s with seven particles and a peak field, its time step written.
struct SimulationAt5 {
  AK_Container root{"project", nullptr};
  SW_Simulation* sim = nullptr;
  ScratchDir dir;
  std::string run, file;
  std::vector<float> peak;
  SimulationAt5()
  {
    auto* mesh = new SW_Mesh("mesh", &root);
    root.AddComponent(mesh);
    meshtest::MakeCartesian(mesh->Core(), 3, 2, 10, 0, 0, [](double x, double) { return -x; });
    sim = new SW_Simulation("Avalanche1", &root);
    root.AddComponent(sim);
    sim->Set("Mesh", "../mesh");
    root.SetProjectDirRecursive(dir.Path().c_str());
    run = sim->ProjectDir().c_str();
    file = run + "/at_0000005.0000.TimeStep";
    EXPECT_EQ(0, AK_MakeDirectory(run.c_str()));
    for (int i = 0; i < 7; i++)
      sim->Particles()->Add(AK_Vec3(1 + 4 * i, 3 + i, 0), 10.0f + i, AK_Vec3(i, -i, 0.5), 1000.0f * i, 0, -1);
    for (int i = 0; i < sim->PeakFlowDepth()->_values.Size(); i++) sim->PeakFlowDepth()->_values[i] = 0.25f * i;
    sim->BindFieldsToMesh();  // the peaks as a load finds them: the particles mapped on
    peak = Values(sim->PeakFlowDepth()->_values);
    // A state made here is no time step of the run directory: it is written into a series this
    // process began, as a run begins it at 0 s.
    sim->Set("SaveTimeStep", "");
    sim->Set("DeleteTimesteps", "all");
    sim->CurrentTime = 5;
    sim->PeakKineticEnergy = 1234.5;
    sim->Set("SaveTimeStep", "");
  }
  std::string Plain(const std::string& path) { return RunProcess("gzip -dc " + ShellQuote(path)); }
  void WritePlain(const std::string& name, const std::string& bytes)
  {
    AK_STREAM out((run + "/" + name + ".TimeStep").c_str(), "wb");
    out.PutRaw(bytes.data(), int64_t(bytes.size()));
    ASSERT_EQ(AK_StreamClose(out), 0);
  }
  // True when the simulation still holds what it saved.
  bool Unchanged()
  {
    return sim->CurrentTime == 5 && sim->Particles()->Count() == 7 && sim->PeakKineticEnergy == 1234.5 &&
           Values(sim->PeakFlowDepth()->_values) == peak;
  }
};

std::string Tag(const std::string& text)
{
  int32_t n = int32_t(text.size());
  return std::string(reinterpret_cast<const char*>(&n), 4) + text;
}

}  // namespace

TEST(TimeStepFile, RoundTripIndependentReaderAndUnknownTags)
{
  MessageCapture messages;
  SimulationAt5 s;
  SW_Simulation& sim = *s.sim;
  AK_Array<AK_Vec3> positions = sim.Particles()->Positions();
  double mass = sim.Particles()->TotalMass();
  std::string bytes = s.Plain(s.file);

  // An independent reader: the particle count and total mass from the "particles:Mass" record.
  std::string script = s.dir.Write("read.py",
      "import gzip, struct, sys\n"
      "b = gzip.open(sys.argv[1]).read()\n"
      "i = b.index(struct.pack('<i', 14) + b'particles:Mass') + 18\n"
      "n, = struct.unpack_from('<i', b, i); i += 4 + n\n"
      "c, = struct.unpack_from('<i', b, i)\n"
      "print(c, '%.3f' % sum(struct.unpack_from('<%df' % c, b, i + 4)))\n");
  EXPECT_EQ(RunProcess("python3 " + script + " " + ShellQuote(s.file)),
            "7 " + std::string(AK_String::Format("%.3f", mass)) + "\n");

  sim.Particles()->Clear();
  sim.CurrentTime = 0;
  for (float& v : sim.PeakFlowDepth()->_values) v = 9;
  sim.Set("LoadTimeStep", "at_0000005.0000");
  EXPECT_STREQ(sim.CurrentTimeStep, "at_0000005.0000");
  ASSERT_TRUE(s.Unchanged());
  for (int i = 0; i < 7; i++) EXPECT_EQ(sim.Particles()->Positions()[i], positions[i]);
  sim.Set("SaveTimeStep", "");
  EXPECT_EQ(s.Plain(s.file), bytes);  // bit-identical
  EXPECT_TRUE(messages.Contains("saving time step data to " + s.file + " done."));

  // A tag from a later version is skipped as a tag; a version 0 header keeps the peak energy.
  std::string future = bytes;
  future.insert(future.find(Tag("peakDepth")), Tag("someFutureTag"));
  s.WritePlain("at_0000006.0000", future);
  sim.Set("LoadTimeStep", "at_0000006.0000");
  EXPECT_STREQ(sim.CurrentTimeStep, "at_0000006.0000");
  s.WritePlain("old", Tag("SW_Simulation::TimeStep:v0") + Tag("SW_Simulation:v0") + std::string("\0\0\0\0\0\0\x22@", 8) +
                          Tag("SW_Simulation::TimeStep:end"));
  sim.Set("LoadTimeStep", "old");
  EXPECT_EQ(sim.CurrentTime, 9);
  EXPECT_EQ(sim.PeakKineticEnergy, 1234.5);
  EXPECT_EQ(sim.Particles()->Count(), 7);

  sim.Set("LoadTimeStep", "missing");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_TRUE(messages.Contains("INFO:cannot open " + s.run + "/missing.TimeStep"));
}

// Every cut before the main block's end tag fails and leaves the simulation as it was; a cut
// right after it loads.
TEST(TimeStepFile, TruncatedFileFailsCleanlyAtEveryCut)
{
  MessageCapture messages;
  SimulationAt5 s;
  std::string bytes = s.Plain(s.file);
  size_t mainEnd = bytes.find(Tag("SW_Simulation::TimeStep:end")) + 31;
  for (size_t cut = 0; cut < mainEnd; cut++) {
    s.WritePlain("cut", bytes.substr(0, cut));
    AK_ErrorText = "";
    s.sim->Set("LoadTimeStep", "cut");
    ASSERT_STREQ(AK_ErrorText, "project/Avalanche1 cannot load timestep data") << cut;
    ASSERT_TRUE(s.Unchanged()) << cut;
  }
  s.WritePlain("cut", bytes.substr(0, mainEnd));
  s.sim->CurrentTime = 0;
  s.sim->Set("LoadTimeStep", "cut");
  EXPECT_TRUE(s.Unchanged());
  EXPECT_STREQ(s.sim->CurrentTimeStep, "cut");
}

// A write that fails leaves the previous file as it was and no temporary file behind, and
// says what the system answered; without a directory nothing is written anywhere.
TEST(TimeStepFile, FailedWriteKeepsThePreviousFile)
{
  MessageCapture messages;
  SimulationAt5 s;
  std::string before = ReadFile(s.file);
  s.sim->PeakKineticEnergy = 1;
  {
    FileSizeLimit limit(40);
    s.sim->Set("SaveTimeStep", "");
  }
  EXPECT_STREQ(AK_ErrorText, "project/Avalanche1 cannot save timestep data: File too large");
  EXPECT_EQ(ReadFile(s.file), before);
  // Beside the time step, only the stamp of its series.
  EXPECT_STREQ(AK_String(AK_ListDirectory(s.run.c_str(), ""), " "), ".simulation_series at_0000005.0000.TimeStep ");
  s.root.SetProjectDirRecursive("");
  s.sim->Set("SaveTimeStep", "");
  EXPECT_FALSE(AK_FileExists("at_0000005.0000.TimeStep"));
}

TEST(TimeStepFile, BackgroundStartNeedsSomethingToReleaseAndNoRunningRun)
{
  MessageCapture messages;
  SimulationAt5 s;
  s.sim->Set("Interrupt", "");
  EXPECT_EQ(ReadFile(s.run + "/.simulation_status"), "interrupted\n");
  // A run of another live process (a status alone, whose run is gone, would not stop a start).
  EXPECT_TRUE(SW_WriteStatusFile(s.sim->ProjectDir(), "running"));
  WriteFile(s.run + "/.simulation_lock", "1\n");
  for (const char* strength : {"", "0", "-1", "5"}) {
    messages.Clear();
    AK_ErrorText = "";
    if (*strength) s.sim->Set("$source_strength", strength);
    s.sim->Set("RunInBackground", "");
    bool released = std::string(strength) == "5";
    EXPECT_NE(messages.Contains("INFO: no release areas defined! Simulation will not be started!"), released);
    EXPECT_STREQ(AK_ErrorText, released ? "project/Avalanche1: the simulation has no mesh, is running already or cannot "
                                          "find the mesh of the flow above"
                                        : "project/Avalanche1: not started, no release areas");
  }
  EXPECT_FALSE(AK_FileExists((s.run + "/start.macro").c_str()));

  // A project that cannot be saved is not run from what an older save left on disk.
  EXPECT_TRUE(SW_WriteStatusFile(s.sim->ProjectDir(), "finished"));
  (void)AK_DeleteFile((s.run + "/.simulation_lock").c_str());  // it may not stand
  EXPECT_EQ(0, AK_MakeDirectory((s.dir / "Container.dat").c_str()));  // where the top object's data goes
  AK_ErrorText = "";
  s.sim->Set("RunInBackground", "");
  EXPECT_EQ(std::string(AK_ErrorText).rfind("project/Avalanche1: not started, the project could not be saved: cannot open", 0),
            0u)
      << AK_ErrorText;
  EXPECT_FALSE(AK_FileExists((s.run + "/start.macro").c_str()));
}

// What the status file and the time steps on disk make the simulation answer.
TEST(TimeStepFile, RunStatusAndTimeStepAnswers)
{
  SW_Simulation fresh("fresh", nullptr);
  for (const char* vis : {"RunVis", "ContinueVis", "NextTimeStepVis", "PrevTimeStepVis"})
    EXPECT_STREQ(fresh.Get(vis), "r") << vis;
  EXPECT_STREQ(fresh.Get("TimeStepsList"), "");
  EXPECT_STREQ(fresh.Get("Label"), "simulationfresh_at_0000000.0000");
  EXPECT_STREQ(SW_SimulationLabel("Project/Meshes/Valley", "Sim1", 5), "Valley_Sim1_at_0000005.0000");
  SimulationAt5 s;
  s.WritePlain("at_0000010.0000", "");
  EXPECT_STREQ(s.sim->Get("TimeStepsList"), "at_0000005.0000%AK_SEP%at_0000010.0000%AK_SEP%");
  EXPECT_STREQ(s.sim->Get("NextTimeStepVis"), "w");
  EXPECT_STREQ(s.sim->Get("PrevTimeStepVis"), "r");
  // A status of a run under way counts only while a live process holds the run lock: one
  // left by a run that was killed does not keep the simulation from running, and reads as
  // what a take-over of its lock would leave, "finished", though nothing is written.
  struct Row { const char* word; std::string lock; const char* run; const char* interrupt; const char* answer; };
  // A process that is gone; the id of a live process (1) that now belongs to a later start.
  const std::string gone = "1073741000\n", reused = "1 " + std::to_string(AK_ProcessStartTime(1) + 7) + "\n";
  const Row rows[] = {{"unknown", "", "w", "r", "unknown"},          {"running", "1\n", "r", "w", "running"},
                      {"started", "1\n", "r", "r", "started"},        {"interrupted", "1\n", "w", "r", "interrupted"},
                      {"running", "", "w", "r", "finished"},         {"running", gone, "w", "r", "finished"},
                      {"interrupted", gone, "w", "r", "finished"},   {"interrupted", "", "w", "r", "interrupted"},
                      {"started", reused, "w", "r", "finished"},     {"started", "", "w", "r", "finished"}};
  MessageCapture messages;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.word) + " with the lock '" + r.lock + "'");
    if (std::string(r.word) != "unknown") {
      EXPECT_TRUE(SW_WriteStatusFile(s.sim->ProjectDir(), r.word));
    }
    if (r.lock.empty()) (void)AK_DeleteFile((s.run + "/.simulation_lock").c_str());  // it may not stand
    else WriteFile(s.run + "/.simulation_lock", r.lock);
    const std::string filesBefore = RunProcess("ls -la --time-style=full-iso " + ShellQuote(s.run));
    s.sim->Set("InteractionTypeWithFluidAbove", "none");
    EXPECT_STREQ(s.sim->Get("Status"), r.answer);
    EXPECT_STREQ(s.sim->Get("RunVis"), r.run);
    EXPECT_STREQ(s.sim->Get("ContinueVis"), r.run);
    EXPECT_STREQ(s.sim->Get("InterruptVis"), r.interrupt);
    EXPECT_STREQ(s.sim->Get("PsaMeshVis"), "-");
    // Coupled with a flow above: its mesh must be found, and no restart of it is ever held.
    s.sim->Set("InteractionTypeWithFluidAbove", "particles suspension");
    EXPECT_STREQ(s.sim->Get("PsaMeshVis"), *r.run == 'w' ? "w" : "r");
    EXPECT_STREQ(s.sim->Get("RunVis"), "r");
    s.sim->Set("PsaMesh", "../mesh");
    EXPECT_STREQ(s.sim->Get("RunVis"), r.run);
    EXPECT_STREQ(s.sim->Get("ContinueVis"), "r");
    s.sim->Set("PsaMesh", "");
    // Asking writes nothing (a dead lock stays until a start takes it over) and says nothing.
    EXPECT_EQ(RunProcess("ls -la --time-style=full-iso " + ShellQuote(s.run)), filesBefore);
    EXPECT_TRUE(messages.messages.empty());
  }
  (void)AK_DeleteFile((s.run + "/.simulation_lock").c_str());  // it may not stand
  // A damaged status file whose word is a zero byte holds no word.
  WriteFile(s.run + "/.simulation_status", std::string("\0running\n", 9));
  s.sim->Set("InteractionTypeWithFluidAbove", "none");
  EXPECT_STREQ(s.sim->Get("Status"), "unknown");
  EXPECT_STREQ(s.sim->Get("RunVis"), "w");
}

// A project saved into a new directory takes the simulation's time steps and run log along,
// marks the run there finished and reads its results from there on; saved again into the
// same directory it copies nothing.
TEST(TimeStepFile, ProjectSavedElsewhereTakesItsTimeSteps)
{
  MessageCapture messages;
  SimulationAt5 s;
  s.WritePlain("at_0000010.0000", "ten");
  WriteFile(s.run + "/start.log", "log");
  ScratchDir elsewhere;
  AK_ErrorText = "";
  s.root.SaveProjectAs(elsewhere.Path().c_str());
  const std::string moved = elsewhere / "Avalanche1";
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(std::string(s.sim->ProjectDir()), moved);
  for (const char* name : {"at_0000005.0000.TimeStep", "at_0000010.0000.TimeStep", "start.log"})
    EXPECT_EQ(ReadFile(moved + "/" + name), ReadFile(s.run + "/" + name)) << name;
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(moved.c_str()), "unknown"), "finished");
  EXPECT_TRUE(messages.Contains("copying " + s.file + " to " + moved + "/at_0000005.0000.TimeStep..."));
  // The moved results are the simulation's: its list and loads find them.
  EXPECT_STREQ(s.sim->Get("TimeStepsList"), "at_0000005.0000%AK_SEP%at_0000010.0000%AK_SEP%");

  messages.Clear();
  s.sim->Set("Remark", "changed");  // saved again, not skipped as unchanged
  s.root.SaveProjectAs(elsewhere.Path().c_str());
  EXPECT_TRUE(messages.HasPrefix("saving Avalanche1"));
  EXPECT_FALSE(messages.HasPrefix("copying "));
}

// A project whose saved time step another process removed: its load holds the state of 0 s,
// as a load in a new process does (without a release here: no particle), never the state this
// process held before; a save then records no time step.
TEST(TimeStepFile, ALoadWhoseTimeStepIsGoneHoldsTheStateOfZero)
{
  MessageCapture messages;
  SimulationAt5 s;
  AK_ErrorText = "";
  s.root.SaveProject();
  ASSERT_STREQ(AK_ErrorText, "");
  AK_String recorded;
  const AK_Read<AK_String> read = s.sim->SavedAttribute(s.run.c_str(), "LoadTimeStep");
  ASSERT_TRUE(read.IsRead());
  recorded = *read.Value();
  ASSERT_STREQ(recorded, "at_0000005.0000");
  s.sim->LoadProject(s.run.c_str());
  EXPECT_TRUE(s.Unchanged());
  std::remove(s.file.c_str());
  s.sim->LoadProject(s.run.c_str());
  EXPECT_EQ(s.sim->CurrentTime, 0);
  EXPECT_STREQ(s.sim->CurrentTimeStep, "");
  EXPECT_EQ(s.sim->Particles()->Count(), 0);
  EXPECT_EQ(s.sim->PeakKineticEnergy, 0);
  s.sim->Set("Remark", "saved again");
  s.root.SaveProject();
  const AK_Read<AK_String> readAgain = s.sim->SavedAttribute(s.run.c_str(), "LoadTimeStep");
  ASSERT_TRUE(readAgain.IsRead());
  recorded = *readAgain.Value();
  EXPECT_STREQ(recorded, "");
}

// A load takes the newest time step over the saved record only after a run whose process is
// gone (its lock left behind): then the lock is taken over, the status says no run goes on,
// and the record names that time step. A status "Interrupt" wrote with no run going on is no
// such run.
TEST(TimeStepFile, ALoadTakesTheNewestTimeStepOnlyOfARunThatIsGone)
{
  SimulationAt5 s;
  AK_ErrorText = "";
  s.root.SaveProject();
  ASSERT_STREQ(AK_ErrorText, "");
  s.sim->CurrentTime = 10;
  s.sim->Set("SaveTimeStep", "");
  ASSERT_STREQ(s.sim->CurrentTimeStep, "at_0000010.0000");
  const std::string lock = s.run + "/.simulation_lock";
  AK_String recorded;
  for (const bool gone : {false, true}) {
    SCOPED_TRACE(gone ? "a lock left behind" : "interrupted, no lock");
    EXPECT_TRUE(SW_WriteStatusFile(s.run.c_str(), "interrupted"));
    if (gone) WriteFile(lock, "1073741000\n");
    MessageCapture messages;
    AK_ErrorText = "";
    s.sim->LoadProject(s.run.c_str());
    EXPECT_STREQ(AK_ErrorText, "");
    EXPECT_EQ(s.sim->CurrentTime, gone ? 10 : 5);
    EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(s.run.c_str()), "unknown"), gone ? "finished" : "interrupted");
    EXPECT_FALSE(AK_FileExists(lock.c_str()));
    const AK_Read<AK_String> readAfter = s.sim->SavedAttribute(s.run.c_str(), "LoadTimeStep");
    ASSERT_TRUE(readAfter.IsRead());
    recorded = *readAfter.Value();
    EXPECT_STREQ(recorded, gone ? "at_0000010.0000" : "at_0000005.0000");
    EXPECT_EQ(messages.Contains("INFO: project/Avalanche1: its run did not finish, its process is gone: the simulation holds "
                                "the run's last time step at_0000010.0000 (the project recorded at_0000005.0000)"),
              gone);
  }
}

// Files that read to their end but hold no state a simulation could take: a time that is no
// time, a particle set missing one of its records, a file of another version. Each is refused
// with its error text and leaves the simulation as it was.
TEST(TimeStepFile, DamagedButReadableFilesAreRefused)
{
  MessageCapture messages;
  SimulationAt5 s;
  const std::string bytes = s.Plain(s.file);
  const size_t timeAt = Tag("SW_Simulation::TimeStep:v0").size() + Tag("SW_Simulation:v1").size();
  auto withTime = [&](double t) {
    std::string b = bytes;
    b.replace(timeAt, 8, reinterpret_cast<const char*>(&t), 8);
    return b;
  };
  // The file without the record of `tag` (its tag up to the next tag).
  auto without = [&](const std::string& tag, const std::string& next) {
    std::string b = bytes;
    size_t from = b.find(Tag(tag)), to = b.find(Tag(next));
    return b.erase(from, to - from);
  };
  std::string v9 = bytes;
  v9.replace(0, Tag("SW_Simulation::TimeStep:v0").size(), Tag("SW_Simulation::TimeStep:v9"));
  const std::string damaged = "project/Avalanche1 cannot load timestep data";
  const struct {
    const char* what;
    std::string file;
    std::string error;
  } cases[] = {
      {"negative time", withTime(-5), damaged},
      {"time NaN", withTime(std::nan("")), damaged},
      {"time infinite", withTime(HUGE_VAL), damaged},
      {"time beyond any file name", withTime(1e300), damaged},
      {"no flags", without("particles", "particles:Position"), damaged},
      {"no positions", without("particles:Position", "particles:Velocity"), damaged},
      {"no velocities", without("particles:Velocity", "particles:Mass"), damaged},
      {"no masses", without("particles:Mass", "peakDepth"), damaged},
      {"unknown version", v9, "project/Avalanche1 cannot load basic data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    s.WritePlain("crafted", c.file);
    s.sim->CurrentTimeStep = "before";
    AK_ErrorText = "";
    s.sim->Set("LoadTimeStep", "crafted");
    EXPECT_STREQ(AK_ErrorText, c.error.c_str());
    EXPECT_TRUE(s.Unchanged());
    EXPECT_STREQ(s.sim->CurrentTimeStep, "before");
  }
  // The same file with its own tags and times loads.
  s.WritePlain("crafted", withTime(7.25));
  AK_ErrorText = "";
  s.sim->Set("LoadTimeStep", "crafted");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_EQ(s.sim->CurrentTime, 7.25);
  EXPECT_STREQ(s.sim->CurrentTimeStep, "crafted");
  // A time of -0 is the start of a run: it loads as 0 and saves under the name of 0 s.
  s.WritePlain("crafted", withTime(-0.0));
  AK_ErrorText = "";
  s.sim->Set("LoadTimeStep", "crafted");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_FALSE(std::signbit(s.sim->CurrentTime));
  EXPECT_STREQ(s.sim->Get("CurrentTime"), "0");
  s.sim->Set("SaveTimeStep", "");
  EXPECT_STREQ(AK_ErrorText, "");
  EXPECT_TRUE(AK_FileExists((s.run + "/at_0000000.0000.TimeStep").c_str()));
  EXPECT_STREQ(SW_TimeStepName(-0.0), "at_0000000.0000");
}

// Every result field that a time-step file holds comes back from it with its own values; the
// fields it does not hold keep what the simulation had.
TEST(TimeStepFile, EveryResultFieldRoundTrips)
{
  MessageCapture messages;
  SimulationAt5 s;
  SW_Simulation& sim = *s.sim;
  auto fill = [&](float base) {
    for (int row = 0; row < SW_ResultFieldCount; ++row) {
      if (SW_ResultFields[row].IsVector()) continue;
      AK_Array<float>& values = sim.ScalarResult(row)->_values;
      if (values.IsEmpty()) sim.ScalarResult(row)->SetMesh(sim.Mesh());  // the bottom pressure
      for (int i = 0; i < values.Size(); i++) values[i] = base + 100.0f * row + i;
    }
  };
  fill(1);
  std::vector<std::vector<float>> saved;
  for (int row = 0; row < SW_ResultFieldCount; ++row)
    if (!SW_ResultFields[row].IsVector()) saved.push_back(Values(sim.ScalarResult(row)->_values));
  sim.Set("SaveTimeStep", "");
  fill(-7);
  sim.Set("LoadTimeStep", "at_0000005.0000");
  ASSERT_STREQ(AK_ErrorText, "");
  for (int row = 0, k = 0; row < SW_ResultFieldCount; ++row) {
    const SW_ResultFieldKind& kind = SW_ResultFields[row];
    if (kind.IsVector()) continue;
    std::vector<float> now = Values(sim.ScalarResult(row)->_values), before = saved[k++];
    SCOPED_TRACE(kind.id);
    if (kind.block == SW_TimeStepBlock::Main || kind.block == SW_TimeStepBlock::Enthalpy) {
      ASSERT_EQ(now.size(), before.size());
      // A load maps the particles onto the vertices again, which only raises the peaks there
      // (the values overwritten were all lower).
      for (size_t i = 0; i < now.size(); i++)
        if (kind.onVertices)
          EXPECT_GE(now[i], before[i]) << i;
        else
          EXPECT_EQ(now[i], before[i]) << i;
    } else if (kind.block == SW_TimeStepBlock::ReadOnly) {
      EXPECT_EQ(now[0], -7.0f + 100.0f * row);
    }
  }
}
