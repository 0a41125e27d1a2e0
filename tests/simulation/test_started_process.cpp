// The process that a background start launched and handed the run lock to, played by this one:
// the lock names it, the status says "started", and the simulation plays the start macro's
// "DeactivateLoadingPsaResults" before its run. A lock it cannot take ends the start as every
// refusal does; a lock another live process holds is that process's, and so are the files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "AK_ProcessLock.h"
#include "SW_SimulationStatus.h"
#include "SimulationTestProject.h"

TEST(StartedProcess, ALockItCannotTakeEndsTheStartAndNoRecordMoves)
{
  // Read once per process, at the first write: set before anything is written, and looked at.
  setenv(kFailOnceVariable, "write:.probe,write:.simulation_lock", 1);
  if (!AK_FailsOnce("write", "/.probe")) GTEST_SKIP() << "the failure hook was read before this test: run it alone";
  RunProject p;
  p.sim->Set("Run", "");
  p.sim->Set("LoadTimeStep", "at_0000001.0000");
  p.sim->Save();
  const std::vector<std::string> steps = p.TimeSteps();
  ASSERT_EQ(steps.size(), 4u);
  const std::string lock = p.run + "/.simulation_lock", dir = p.run;
  const auto recorded = [&] {
    AK_String step;
    EXPECT_TRUE(p.sim->SavedAttribute(dir.c_str(), "LoadTimeStep", step));
    return std::string(step.c_str());
  };
  ASSERT_EQ(recorded(), "at_0000001.0000");
  const std::string self =
      AK_String::Format("%d %lld\n", AK_ProcessId(), (long long)AK_ProcessStartTime(AK_ProcessId())).c_str();
  struct Case {
    std::string handedTo, error, status, info;
  } cases[] = {
      // Another live process's lock: that run's status and info stay.
      {"1\n", "project/Simulations/Avalanche1: not started, a run of this simulation is going on in process 1",
       "started", "started\n"},
      {self, "project/Simulations/Avalanche1: not started, the run lock cannot be taken: cannot take over " + lock,
       "finished", "not run: the run lock handed to it cannot be taken: cannot take over " + lock + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handedTo);
    WriteFile(lock, c.handedTo);
    EXPECT_TRUE(SW_WriteStatusFile(dir.c_str(), "started"));
    EXPECT_TRUE(SW_WriteInfoFile(dir.c_str(), "started"));
    AK_ErrorText = "";
    p.sim->Set("DeactivateLoadingPsaResults", "");
    p.sim->Set("Run", "");
    EXPECT_EQ(std::string(AK_ErrorText.c_str()), c.error);
    EXPECT_STREQ(SW_ReadStatusFile(dir.c_str()), c.status.c_str());
    EXPECT_STREQ(SW_ReadInfoFile(dir.c_str()), c.info.c_str());
    EXPECT_EQ(p.TimeSteps(), steps);
  }
  // The shell the lock was handed to ends after the refused run: whoever takes its lock over
  // finds no run that went on, and the record stays.
  WriteFile(lock, "1073741000\n");
  MessageCapture messages;
  const SW_EndOfWhatIsGone ended = SW_EndWhatIsGone(dir.c_str(), "the load", p.sim->RecordForTaker());
  EXPECT_EQ(ended.takeOver, SW_TakeOver::NothingToEnd);
  EXPECT_STREQ(ended.failure, "");
  EXPECT_FALSE(messages.Contains("did not finish"));
  EXPECT_STREQ(SW_ReadInfoFile(dir.c_str()), cases[1].info.c_str());
  EXPECT_EQ(recorded(), "at_0000001.0000");
  EXPECT_EQ(p.TimeSteps(), steps);
}
