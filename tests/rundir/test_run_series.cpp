// The gate of a run directory's series, against a model of who changed it since whom: several
// holders (each what one process knows) read and change one directory, reached under several
// spellings, in a random order. A holder holds the series exactly while nobody else changed it
// since it last read or wrote, a refused change touches nothing, and a copy of the directory
// elsewhere is never the same series; a hold, once lost, never comes back, whatever the stamp
// file turns back into.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "SW_RunSeries.h"
#include "SW_RunSeries_Internal.h"
#include "TestSupport.h"

namespace {

// What the model says a holder has seen since it last read or wrote the series.
enum class Seen { Nothing, OnlyRemovals, Writes, NeverRead };

SW_SeriesHold::Since Expected(Seen seen)
{
  if (seen == Seen::Nothing) return SW_SeriesHold::Since::Nothing;
  return seen == Seen::OnlyRemovals ? SW_SeriesHold::Since::Removed : SW_SeriesHold::Since::Written;
}

// The stamp file as it stands, byte and version.
bool Unchanged(const SW_StampSeen& a, const SW_StampSeen& b)
{
  return a.kind == b.kind && a.text == b.text && (a.kind == SW_StampSeen::Kind::Missing || a.version == b.version);
}

void Take(SW_SeriesHold& holder, const std::string& dir)
{
  AK_DirectoryLock locked(dir.c_str());
  (void)holder.Take(locked, dir.c_str());  // whether it holds is what each case asks
}

bool Pass(SW_SeriesHold& holder, const std::string& dir, SW_SeriesChange change)
{
  AK_DirectoryLock locked(dir.c_str());
  return holder.Pass(locked, dir.c_str(), change).passed;
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
    std::mt19937 random(seed);
    std::vector<SW_SeriesHold> holders(3);
    std::vector<Seen> seen(3, Seen::NeverRead);
    for (int step = 0; step < 300; ++step) {
      const size_t who = random() % holders.size();
      const std::string& dir = spellings[random() % spellings.size()];
      SCOPED_TRACE("step " + std::to_string(step) + " holder " + std::to_string(who) + " at " + dir);
      ASSERT_EQ(holders[who].ChangesSince(dir.c_str()), Expected(seen[who]));
      const int op = int(random() % 6);
      if (op == 0) {
        Take(holders[who], dir);
        seen[who] = Seen::Nothing;
        continue;
      }
      const SW_SeriesChange change = op == 1   ? SW_SeriesChange::Write
                                     : op == 2 ? SW_SeriesChange::Remove
                                     : op == 3 ? SW_SeriesChange::Anew
                                     : op == 4 ? SW_SeriesChange::RecordNewest
                                               : SW_SeriesChange::Record;
      const SW_StampSeen before = SW_LookAtSeriesStamp(dir.c_str());
      const bool passes = change == SW_SeriesChange::Anew || change == SW_SeriesChange::RecordNewest ||
                          Expected(seen[who]) == SW_SeriesHold::Since::Nothing;
      EXPECT_EQ(Pass(holders[who], dir, change), passes);
      if (!passes || change == SW_SeriesChange::Record || change == SW_SeriesChange::RecordNewest) {
        // A refusal or a record changes nothing.
        const SW_StampSeen after = SW_LookAtSeriesStamp(dir.c_str());
        EXPECT_TRUE(Unchanged(after, before)) << int(before.kind) << " " << before.text << " -> " << int(after.kind)
                                              << " " << after.text;
        continue;
      }
      for (size_t other = 0; other < holders.size(); ++other)
        if (other != who && seen[other] != Seen::NeverRead)
          seen[other] = change == SW_SeriesChange::Remove && seen[other] != Seen::Writes ? Seen::OnlyRemovals
                                                                                          : Seen::Writes;
      seen[who] = Seen::Nothing;
    }
  }

  // A copy of the run directory, stamp and all, is another directory; one that takes the
  // directory's place (removed and made again) holds everything of it removed.
  SW_SeriesHold holder;
  Take(holder, run);
  std::filesystem::copy(run, scratch / "copy");
  EXPECT_FALSE(holder.Holds((scratch / "copy").c_str()));
  EXPECT_TRUE(holder.Holds(run.c_str()));
  std::filesystem::rename(run, scratch / "moved");
  std::filesystem::create_directories(run);
  EXPECT_EQ(holder.ChangesSince(run.c_str()), SW_SeriesHold::Since::Removed);
  EXPECT_FALSE(Pass(holder, run, SW_SeriesChange::Write));
  EXPECT_TRUE(Pass(holder, run, SW_SeriesChange::Anew));

  // Handed over to a run elsewhere, nothing is held; taken back, it is again when that run
  // changed nothing, and not when it wrote.
  holder.HandOver();
  EXPECT_FALSE(holder.Holds(run.c_str()));
  EXPECT_TRUE(holder.TakeBack(run.c_str()));
  holder.HandOver();
  SW_SeriesHold other;
  Take(other, run);
  EXPECT_TRUE(Pass(other, run, SW_SeriesChange::Write));
  EXPECT_FALSE(holder.TakeBack(run.c_str()));
}

// Whatever the stamp file turns into after another process changed it (its old text written
// again, damage a holder once read, a link to a copy of the old one, nothing at all), a holder
// that lost the series never holds it again; damage is no count, and a stamp that cannot be
// read is a refusal with its reason.
TEST(RunSeries, AHoldNeverComesBackOnceTheStampChanged)
{
  ScratchDir scratch;
  const std::string run = scratch / "run";
  const std::string stamp = run + "/.simulation_series";
  std::filesystem::create_directories(run);
  const std::vector<std::string> damages = {"", "garbage", "abc -1 0\n", "abc 18446744073709551616 0\n",
                                            "abc 1 2", "abc 1 2\nmore\n", "abc +1 0\n"};
  for (const std::string& damage : damages) {
    SCOPED_TRACE("damage \"" + damage + "\"");
    WriteFile(stamp, damage);
    EXPECT_EQ(SW_LookAtSeriesStamp(run.c_str()).kind, SW_StampSeen::Kind::Damaged);
    SW_SeriesHold holder, other;
    Take(holder, run);
    EXPECT_TRUE(holder.Holds(run.c_str()));  // what it read, damaged or not
    Take(other, run);
    ASSERT_TRUE(Pass(other, run, SW_SeriesChange::Write));  // mends it under an id of its own
    EXPECT_NE(SW_ReadSeriesStamp(run.c_str()).id, "");
    WriteFile(stamp, damage);
    EXPECT_FALSE(holder.Holds(run.c_str()));
    EXPECT_FALSE(Pass(holder, run, SW_SeriesChange::Write));
  }

  // The old text again, as a file of its own or through a link to a copy of it.
  std::filesystem::remove(stamp);
  SW_SeriesHold holder, other;
  Take(holder, run);
  const std::string text = ReadFile(stamp);
  EXPECT_TRUE(holder.Holds(run.c_str()));
  Take(other, run);
  ASSERT_TRUE(Pass(other, run, SW_SeriesChange::Write));
  WriteFile(stamp, text);
  EXPECT_FALSE(holder.Holds(run.c_str()));
  WriteFile(scratch / "copy", text);
  std::filesystem::remove(stamp);
  std::filesystem::create_symlink(scratch / "copy", stamp);
  EXPECT_FALSE(holder.Holds(run.c_str()));
  std::filesystem::remove(scratch / "copy");  // dangling
  EXPECT_FALSE(holder.Holds(run.c_str()));
  EXPECT_FALSE(Pass(holder, run, SW_SeriesChange::Record));

  // A stamp deleted twice: each reader of a directory without one makes its own.
  std::filesystem::remove(stamp);
  Take(holder, run);
  std::filesystem::remove(stamp);
  EXPECT_EQ(holder.ChangesSince(run.c_str()), SW_SeriesHold::Since::Removed);
  Take(other, run);
  std::filesystem::remove(stamp);
  EXPECT_FALSE(holder.Holds(run.c_str()));
  EXPECT_FALSE(other.Holds(run.c_str()));

  // A stamp that cannot be read holds nothing and refuses with its reason.
  std::filesystem::create_directory(stamp);
  AK_String why;
  Take(other, run);
  EXPECT_FALSE(other.Holds(run.c_str()));
  {
    AK_DirectoryLock locked(run.c_str());
    const SW_SeriesHold::Gate gate = other.Pass(locked, run.c_str(), SW_SeriesChange::Anew);
    EXPECT_FALSE(gate.passed);
    EXPECT_NE(std::string(gate.failure).find(".simulation_series"), std::string::npos) << gate.failure;
  }
  std::filesystem::remove(stamp);
  Take(other, run);
  ASSERT_TRUE(other.Holds(run.c_str()));
  std::filesystem::rename(stamp, scratch / "held");
  std::filesystem::create_directory(stamp);
  EXPECT_EQ(other.ChangesSince(run.c_str(), &why), SW_SeriesHold::Since::Unreadable);
  EXPECT_NE(std::string(why).find("Is a directory"), std::string::npos) << why;
  {
    AK_DirectoryLock locked(run.c_str());
    const SW_SeriesHold::Gate gate = other.Pass(locked, run.c_str(), SW_SeriesChange::Write);
    EXPECT_FALSE(gate.passed);
    EXPECT_NE(std::string(gate.failure).find("the stamp of the series cannot be read"), std::string::npos);
  }
  // Even the very file put back is another version: it was moved meanwhile.
  std::filesystem::remove(stamp);
  std::filesystem::rename(scratch / "held", stamp);
  EXPECT_FALSE(other.Holds(run.c_str()));
  Take(other, run);
  ASSERT_TRUE(other.Holds(run.c_str()));

  // The gate refuses a caller without the directory's lock, and changes nothing.
  const SW_StampSeen before = SW_LookAtSeriesStamp(run.c_str());
  {
    AK_DirectoryLock elsewhere(scratch.Path().c_str());
    const SW_SeriesHold::Gate gate = other.Pass(elsewhere, run.c_str(), SW_SeriesChange::Write);
    EXPECT_FALSE(gate.passed);
    EXPECT_NE(std::string(gate.failure).find("cannot be locked"), std::string::npos) << gate.failure;
    AK_DirectoryLock none((scratch / "no such directory").c_str());
    EXPECT_FALSE(other.Pass(none, run.c_str(), SW_SeriesChange::Anew).passed);
  }
  EXPECT_TRUE(Unchanged(SW_LookAtSeriesStamp(run.c_str()), before));
}
