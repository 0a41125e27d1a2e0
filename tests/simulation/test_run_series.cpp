// The gate of a run directory's series, against a model of who changed it since whom: several
// holders (each what one process knows) read and change one directory, reached under several
// spellings, in a random order. A holder holds the series exactly while nobody else changed it
// since it last read or wrote, a refused change touches nothing, and a copy of the directory
// elsewhere is never the same series.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "SW_RunSeries.h"
#include "TestSupport.h"

namespace {

// What the model says a holder has seen since it last read or wrote the series.
enum class Seen { Nothing, OnlyRemovals, Writes, NeverRead };

// A series no writer began yet is there for every holder.
SW_SeriesHold::Since Expected(Seen seen, bool begun)
{
  if (seen == Seen::Nothing || (seen == Seen::NeverRead && !begun)) return SW_SeriesHold::Since::Nothing;
  return seen == Seen::OnlyRemovals ? SW_SeriesHold::Since::Removed : SW_SeriesHold::Since::Written;
}

}  // namespace

TEST(RunSeries, AHolderHoldsTheSeriesExactlyWhileNoOtherChangedItUnderAnySpelling)
{
  ScratchDir scratch;
  const std::string run = scratch / "proj/run";
  std::filesystem::create_directories(run);
  std::filesystem::create_directory_symlink(run, scratch / "link");
  const std::vector<std::string> spellings = {run, scratch / "proj/../proj/run", scratch / "link", run + "/"};
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::filesystem::remove(run + "/.simulation_series");
    bool begun = false;
    std::mt19937 random(seed);
    std::vector<SW_SeriesHold> holders(3);
    std::vector<Seen> seen(3, Seen::NeverRead);
    for (int step = 0; step < 300; ++step) {
      const size_t who = random() % holders.size();
      const std::string& dir = spellings[random() % spellings.size()];
      SCOPED_TRACE("step " + std::to_string(step) + " holder " + std::to_string(who) + " at " + dir);
      ASSERT_EQ(holders[who].ChangesSince(dir.c_str()), Expected(seen[who], begun));
      const int op = int(random() % 5);
      if (op == 0) {
        holders[who].Take(dir.c_str());
        seen[who] = Seen::Nothing;
        continue;
      }
      const SW_SeriesChange change = op == 1   ? SW_SeriesChange::Write
                                     : op == 2 ? SW_SeriesChange::Remove
                                     : op == 3 ? SW_SeriesChange::Anew
                                               : SW_SeriesChange::Record;
      const SW_SeriesStamp before = SW_ReadSeriesStamp(dir.c_str());
      AK_DirectoryLock locked(dir.c_str());
      const bool passes = change == SW_SeriesChange::Anew || Expected(seen[who], begun) == SW_SeriesHold::Since::Nothing;
      EXPECT_EQ(holders[who].Pass(locked, dir.c_str(), change).passed, passes);
      if (!passes || change == SW_SeriesChange::Record) {
        EXPECT_TRUE(SW_ReadSeriesStamp(dir.c_str()) == before);  // a refusal or a record changes nothing
        continue;
      }
      for (size_t other = 0; other < holders.size(); ++other)
        if (other != who && seen[other] != Seen::NeverRead)
          seen[other] = change == SW_SeriesChange::Remove && seen[other] != Seen::Writes ? Seen::OnlyRemovals
                                                                                          : Seen::Writes;
      seen[who] = Seen::Nothing;
      begun = true;
    }
  }

  // A copy of the run directory, stamp and all, is another directory; a damaged stamp is
  // held by whoever read it so, until a writer gives the series an id of its own.
  SW_SeriesHold holder;
  holder.Take(run.c_str());
  std::filesystem::copy(run, scratch / "copy");
  EXPECT_FALSE(holder.Holds((scratch / "copy").c_str()));
  EXPECT_TRUE(holder.Holds(run.c_str()));
  WriteFile(run + "/.simulation_series", "damaged");
  EXPECT_FALSE(holder.Holds(run.c_str()));
  holder.Take(run.c_str());
  SW_SeriesHold other;
  other.Take(run.c_str());
  {
    AK_DirectoryLock locked(run.c_str());
    EXPECT_TRUE(holder.Pass(locked, run.c_str(), SW_SeriesChange::Write).passed);
  }
  EXPECT_EQ(SW_ReadSeriesStamp(run.c_str()).written, 1u);
  EXPECT_TRUE(holder.Holds(run.c_str()));
  EXPECT_FALSE(other.Holds(run.c_str()));

  // Handed over to a run elsewhere, nothing is held; taken back, it is again when that run
  // changed nothing, and not when it wrote.
  holder.HandOver();
  EXPECT_FALSE(holder.Holds(run.c_str()));
  EXPECT_TRUE(holder.TakeBack(run.c_str()));
  holder.HandOver();
  {
    AK_DirectoryLock locked(run.c_str());
    other.Take(run.c_str());
    EXPECT_TRUE(other.Pass(locked, run.c_str(), SW_SeriesChange::Write).passed);
  }
  EXPECT_FALSE(holder.TakeBack(run.c_str()));
}
