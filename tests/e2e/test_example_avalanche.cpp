// The shipped example avalanche with the default settings: it runs from its release to a
// deposit at rest, keeps its mass (no entrainment, no sources) to float precision in every
// time-step file, and writes the same bytes whether the run has one processor or several.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace {

bool HaveTaskset() { return std::system("taskset -c 0 true >/dev/null 2>&1") == 0; }

// Runs the example's macro in the directory, with the command line's prefix.
void RunExample(const ScratchDir& dir, const std::string& prefix)
{
  int status = -1;
  const std::string printed = RunProcess("cd " + ShellQuote(dir.Path()) + " && env -u TORVU_USER_ATTRIBUTES HOME=" +
                                         ShellQuote(dir.Path()) + " " + prefix + ShellQuote(TORVU_PROGRAM) + " -files " +
                                         ShellQuote(TORVU_ATTRIBUTES) + " -offscreen avalanche.macro > torvu.log 2>&1 < /dev/null",
                                         &status);
  EXPECT_EQ(status, 0) << printed;
}

ScratchDir& CopyExample(ScratchDir& dir, const std::string& macro)
{
  for (const char* file : {"slope.asc", "slope.rel"})
    std::filesystem::copy_file(std::string(TORVU_EXAMPLES) + "/" + file, dir / file);
  dir.Write("avalanche.macro", macro);
  return dir;
}

// Count, total mass and fastest speed of the particles of a time-step file, by a reader of
// the format of its own (gzip, little-endian, each item behind its tag).
struct Summary {
  int count = 0;
  double mass = 0, fastest = 0;
};

Summary Summarize(const ScratchDir& dir, const std::string& file)
{
  const std::string reader = dir.Write("summary.py",
      "import gzip, math, struct, sys\n"
      "b = gzip.open(sys.argv[1]).read()\n"
      "def after_tag(i):\n"
      "    n, = struct.unpack_from('<i', b, i)\n"
      "    return i + 4 + n\n"
      "def record(name):\n"
      "    return after_tag(after_tag(b.index(struct.pack('<i', len(name)) + name.encode())))\n"
      "i = record('particles:Velocity')\n"
      "n, = struct.unpack_from('<i', b, i)\n"
      "v = struct.unpack_from('<%dd' % (3 * n), b, i + 4)\n"
      "i = record('particles:Mass')\n"
      "m = struct.unpack_from('<%df' % n, b, i + 4)\n"
      "print(n, repr(sum(m)), max([math.sqrt(v[k] ** 2 + v[k + 1] ** 2 + v[k + 2] ** 2) for k in range(0, 3 * n, 3)] + [0]))\n");
  Summary s;
  std::istringstream in(RunProcess("python3 " + ShellQuote(reader) + " " + ShellQuote(file)));
  in >> s.count >> s.mass >> s.fastest;
  EXPECT_TRUE(in) << file;
  return s;
}

std::string TimeStepName(int seconds)
{
  char name[40];
  std::snprintf(name, sizeof name, "/at_%012.4f.TimeStep", static_cast<double>(seconds));
  return name;
}

}  // namespace

TEST(ExampleAvalanche, RunsToADepositKeepsItsMassAndIsTheSameOnOneProcessorAndOnMany)
{
  if (!HaveTaskset()) GTEST_SKIP() << "taskset (util-linux) not installed";
  const std::string macro = ReadFile(std::string(TORVU_EXAMPLES) + "/avalanche.macro");
  const std::string endTime = "\"EndTime\", \"100\"";
  ASSERT_NE(macro.find(endTime), std::string::npos);
  const std::string run = "avalanche_project/Project/Simulations/Avalanche1";

  // The whole run on one processor.
  ScratchDir one;
  RunExample(CopyExample(one, macro), "taskset -c 0 ");
  const Summary start = Summarize(one, one / run + TimeStepName(0));
  ASSERT_GT(start.count, 1000);
  double worst = 0;
  for (int t = 5; t <= 100; t += 5) {
    const Summary s = Summarize(one, one / run + TimeStepName(t));
    EXPECT_EQ(s.count, start.count) << t;
    worst = std::max(worst, std::fabs(s.mass - start.mass) / start.mass);
  }
  const Summary end = Summarize(one, one / run + TimeStepName(100));
  std::printf("example avalanche: %d particles, %.6g kg; largest relative change of the mass %.2g; "
              "fastest particle at 100 s %.3g m/s\n", start.count, start.mass, worst, end.fastest);
  EXPECT_LT(worst, 1e-6);        // float masses summed: no particle gains or loses mass
  EXPECT_LT(end.fastest, 0.5);   // a deposit

  // The first 20 s on all processors (at most 8) write the same files.
  std::string shorter = macro;
  shorter.replace(shorter.find(endTime), endTime.size(), "\"EndTime\", \"20\"");
  ScratchDir many;
  RunExample(CopyExample(many, shorter), "");
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor only";
  for (int t = 0; t <= 20; t += 5)
    EXPECT_TRUE(ReadFile(one / run + TimeStepName(t)) == ReadFile(many / run + TimeStepName(t))) << t;
}
