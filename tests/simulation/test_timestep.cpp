// The time-step file and the time-step list: round trips, every truncation, unknown tags, old
// headers, failed writes, and listing, stepping, deleting and copying on real directories.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "AK_FrameworkState.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"
#include "TestSupport.h"

namespace {

// Records of a few floats per tag: the simulation's state (`values`), the temporaries a load
// fills (`loaded`), and what a writer adds after a tag's record to build odd files.
struct FloatRecords : SW_TimeStepRecords {
  std::map<std::string, std::vector<float>> values, loaded;
  std::map<std::string, std::string> extraTagAfter;
  std::string failWriting;

  int WriteRecord(const char* tag, AK_STREAM& stream) override
  {
    const std::vector<float>& v = values[tag];
    stream << int32_t(v.size());
    AK_StreamWriteFloats(stream, v.data(), int32_t(v.size()));
    if (extraTagAfter.count(tag)) {
      stream << extraTagAfter[tag].c_str();
      if (extraTagAfter[tag] == SW_TimeStepBottomPressureTag) stream << int32_t(1) << 7.0f;
    }
    return failWriting == tag ? 1 : 0;
  }
  int ReadRecord(const char* tag, AK_STREAM& stream) override
  {
    int32_t n = -1;
    stream >> n;
    if (stream.Fail() || n < 0 || n > 1000) return 1;
    std::vector<float> v(n);
    if (AK_StreamReadFloats(stream, v.data(), n) != n) return 1;
    loaded[tag] = v;
    return 0;
  }
};

FloatRecords RandomRecords(uint32_t seed)
{
  FloatRecords records;
  AK_SeedRandom(seed);
  auto fill = [&](const char* tag) {
    std::vector<float>& v = records.values[tag];
    for (int i = 0, n = AK_Random() % 5; i < n; i++) v.push_back(float(AK_Random()) / 7.0f - 500);
  };
  for (const char* tag : SW_TimeStepMainTags) fill(tag);
  for (const char* tag : SW_TimeStepEnthalpyTags) fill(tag);
  return records;
}

std::string Uncompressed(const std::string& path)
{
  AK_STREAM stream(path.c_str(), "rb");
  std::string bytes;
  char buffer[4096];
  for (int64_t n; (n = stream.GetRaw(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

void WriteCompressed(const std::string& path, const std::string& bytes)
{
  AK_STREAM stream(path.c_str(), "wb");
  stream.PutRaw(bytes.data(), int64_t(bytes.size()));
  ASSERT_EQ(AK_StreamClose(stream), 0);
}

SW_TimeStepLoadResult Load(const ScratchDir& dir, const char* name, SW_TimeStepHeader& header, FloatRecords& records)
{
  return SW_LoadTimeStepFile(dir.Path().c_str(), name, header, records, "/Sim");
}

}  // namespace

TEST(TimeStepFile, RoundTripIsBitIdenticalAndNamesFollowTheTime)
{
  MessageCapture messages;
  ScratchDir dir, copy;
  for (uint32_t seed = 1; seed <= 5; seed++) {
    FloatRecords written = RandomRecords(seed);
    SW_TimeStepHeader header{123.25 * seed, 1e6 / seed};
    ASSERT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), header, written, "/Sim"), 0);
    AK_String name = SW_TimeStepName(header.currentTime);

    FloatRecords read;
    SW_TimeStepHeader back;
    ASSERT_EQ(Load(dir, name, back, read), SW_TimeStepLoadResult::Loaded);
    EXPECT_EQ(read.loaded, written.values);
    read.values = read.loaded;
    ASSERT_EQ(SW_SaveTimeStepFile(copy.Path().c_str(), back, read, "/Sim"), 0);
    EXPECT_EQ(Uncompressed(copy / (std::string(name) + ".TimeStep")),
              Uncompressed(dir / (std::string(name) + ".TimeStep")));
  }
  EXPECT_STREQ(SW_TimeStepName(0), "at_0000000.0000");
  EXPECT_STREQ(SW_TimeStepName(5), "at_0000005.0000");
  EXPECT_STREQ(SW_TimeStepName(123.25), "at_0000123.2500");
  EXPECT_TRUE(messages.Contains("saving time step data to " + dir.Path() + "/at_0000123.2500.TimeStep done."));
}

// Every cut before the main block's end tag fails and changes nothing; a cut right after it
// loads; no cut crashes.
TEST(TimeStepFile, TruncatedFileFailsCleanlyAtEveryCut)
{
  MessageCapture messages;
  ScratchDir dir;
  FloatRecords written = RandomRecords(7);
  ASSERT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), SW_TimeStepHeader{5, 2}, written, "/Sim"), 0);
  std::string bytes = Uncompressed(dir / "at_0000005.0000.TimeStep");
  const std::string endTag = "SW_Simulation::TimeStep:end";
  size_t mainEnd = bytes.find(endTag) + endTag.size();
  ASSERT_NE(bytes.find(endTag), std::string::npos);

  for (size_t cut = 0; cut <= bytes.size(); cut++) {
    WriteCompressed(dir / "cut.TimeStep", bytes.substr(0, cut));
    FloatRecords read;
    SW_TimeStepHeader header{-1, -1};
    AK_ErrorText = "";
    SW_TimeStepLoadResult result = Load(dir, "cut", header, read);
    if (cut < mainEnd) {
      ASSERT_EQ(result, SW_TimeStepLoadResult::Failed) << cut;
      EXPECT_EQ(header.currentTime, -1) << cut;
      EXPECT_STREQ(AK_ErrorText, "/Sim cannot load timestep data");
    } else if (cut == mainEnd || cut == bytes.size()) {
      EXPECT_EQ(result, SW_TimeStepLoadResult::Loaded) << cut;
      EXPECT_EQ(header.currentTime, 5);
    }
  }
}

TEST(TimeStepFile, UnknownTagsAreSkippedAndOldFilesRead)
{
  MessageCapture messages;
  ScratchDir dir;
  FloatRecords written = RandomRecords(3);
  written.extraTagAfter["peakDepth"] = "someFutureTag";
  written.extraTagAfter["frontArrivalTime"] = SW_TimeStepBottomPressureTag;
  ASSERT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), SW_TimeStepHeader{1, 2}, written, "/Sim"), 0);
  FloatRecords read;
  SW_TimeStepHeader header;
  ASSERT_EQ(Load(dir, "at_0000001.0000", header, read), SW_TimeStepLoadResult::Loaded);
  EXPECT_EQ(read.loaded["entrainmentEnthalpy"], written.values["entrainmentEnthalpy"]);
  EXPECT_EQ(read.loaded[SW_TimeStepBottomPressureTag], std::vector<float>{7.0f});

  // A version 0 header holds the time only; no enthalpy block.
  AK_STREAM old((dir / "old.TimeStep").c_str(), "wb");
  old << "SW_Simulation::TimeStep:v0" << "SW_Simulation:v0" << 9.5 << "SW_Simulation::TimeStep:end";
  ASSERT_EQ(AK_StreamClose(old), 0);
  header = SW_TimeStepHeader{0, 42};
  ASSERT_EQ(Load(dir, "old", header, read), SW_TimeStepLoadResult::Loaded);
  EXPECT_EQ(header.currentTime, 9.5);
  EXPECT_EQ(header.peakKineticEnergy, 42);
  EXPECT_FALSE(header.hasPeakKineticEnergy);

  // A missing file is a message only.
  AK_ErrorText = "kept";
  EXPECT_EQ(Load(dir, "missing", header, read), SW_TimeStepLoadResult::NotOpened);
  EXPECT_STREQ(AK_ErrorText, "kept");
  EXPECT_TRUE(messages.Contains("INFO:cannot open " + (dir / "missing.TimeStep")));
}

// A write that fails (a record writer, a full disk) leaves the previous file as it was and no
// temporary file behind; without a directory nothing is written anywhere.
TEST(TimeStepFile, FailedWriteKeepsThePreviousFile)
{
  MessageCapture messages;
  ScratchDir dir;
  FloatRecords records = RandomRecords(11);
  records.values["particles"].assign(1000, 1.0f);
  ASSERT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), SW_TimeStepHeader{5, 0}, records, "/Sim"), 0);
  std::string before = ReadFile(dir / "at_0000005.0000.TimeStep");

  records.failWriting = "peakDepth";
  AK_ErrorText = "";
  EXPECT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), SW_TimeStepHeader{5, 1}, records, "/Sim"), 1);
  EXPECT_STREQ(AK_ErrorText, "/Sim cannot save timestep data");
  records.failWriting = "";
  for (int i = 0; i < 200000; i++) records.values["particles"].push_back(float(AK_Random()));
  {
    FileSizeLimit limit(20000);
    EXPECT_EQ(SW_SaveTimeStepFile(dir.Path().c_str(), SW_TimeStepHeader{5, 1}, records, "/Sim"), 1);
  }
  EXPECT_EQ(ReadFile(dir / "at_0000005.0000.TimeStep"), before);
  EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

  EXPECT_EQ(SW_SaveTimeStepFile("", SW_TimeStepHeader{5, 1}, records, "/Sim"), 1);
  EXPECT_FALSE(AK_FileExists("at_0000005.0000.TimeStep"));
}

namespace {

struct TimeStepDir {
  ScratchDir dir;
  explicit TimeStepDir(std::initializer_list<double> times)
  {
    for (double t : times) dir.Write(std::string(SW_TimeStepName(t)) + ".TimeStep", "x");
    dir.Write("notes.txt", "x");
  }
  std::vector<std::string> Names() const
  {
    std::vector<std::string> names;
    for (const AK_String& n : AK_ListDirectory(dir.Path().c_str(), "TimeStep")) names.push_back(n.c_str());
    return names;
  }
};

}  // namespace

TEST(TimeStepList, SteppingAndNearestTime)
{
  TimeStepDir steps{10, 0, 5};
  struct Case {
    double current;
    SW_TimeStepMove move;
    const char* loads;  // "" for the error text
    const char* error;
  } cases[] = {
      {5, SW_TimeStepMove::Next, "at_0000010.0000", ""},
      {10, SW_TimeStepMove::Next, "", "accessing invalid time step"},
      {3, SW_TimeStepMove::Next, "at_0000000.0000", ""},
      {3, SW_TimeStepMove::Prev, "", "accessing invalid time step"},
      {5, SW_TimeStepMove::Prev, "at_0000000.0000", ""},
      {5, SW_TimeStepMove::First, "at_0000000.0000", ""},
      {0, SW_TimeStepMove::Last, "at_0000010.0000", ""},
  };
  for (const Case& c : cases) {
    SW_TimeStepList list = SW_ListTimeSteps(steps.dir.Path().c_str(), c.current);
    AK_String name;
    AK_ErrorText = "";
    EXPECT_EQ(SW_TimeStepToLoad(list, c.move, name), *c.loads != 0) << c.current;
    EXPECT_STREQ(name, c.loads);
    EXPECT_STREQ(AK_ErrorText, c.error);
  }
  SW_TimeStepList list = SW_ListTimeSteps(steps.dir.Path().c_str(), 5);
  EXPECT_STREQ(SW_TimeStepsListText(list), "at_0000000.0000%AK_SEP%at_0000005.0000%AK_SEP%at_0000010.0000%AK_SEP%");
  EXPECT_STREQ(SW_NextTimeStepVis(list), "w");
  EXPECT_STREQ(SW_PrevTimeStepVis(list), "w");
  EXPECT_STREQ(SW_PrevTimeStepVis(SW_ListTimeSteps(steps.dir.Path().c_str(), 3)), "r");
  EXPECT_EQ(SW_NearestTimeStep(list, 7.5), 1);  // equally near: the first wins
  EXPECT_EQ(SW_NearestTimeStep(list, 8), 2);
  EXPECT_EQ(SW_NearestTimeStep(list, -50), 0);

  // No project directory: no list, whatever lies in the current directory.
  AK_String name;
  SW_TimeStepList none = SW_ListTimeSteps("", 0);
  EXPECT_EQ(none.names.Count(), 0);
  EXPECT_FALSE(SW_TimeStepToLoad(none, SW_TimeStepMove::First, name));
  EXPECT_STREQ(AK_ErrorText, "no time steps available");
}

TEST(TimeStepList, DeletingRemovingAndCopying)
{
  MessageCapture messages;
  for (bool all : {false, true}) {
    TimeStepDir steps{0, 5, 10};
    SW_DeleteTimeStepFiles(steps.dir.Path().c_str(), SW_ListTimeSteps(steps.dir.Path().c_str(), 10), all);
    EXPECT_EQ(steps.Names(), all ? std::vector<std::string>{} : std::vector<std::string>{"at_0000010.0000.TimeStep"});
  }
  TimeStepDir steps{0, 5, 10, 20};
  SW_RemoveLaterTimeSteps(steps.dir.Path().c_str(), 5, 0.1);
  EXPECT_EQ(steps.Names(), (std::vector<std::string>{"at_0000000.0000.TimeStep", "at_0000005.0000.TimeStep"}));

  // An empty project directory never deletes in the current directory.
  WriteFile("at_0000001.0000.TimeStep", "x");
  SW_TimeStepList list;
  list.names.Append(AK_String("at_0000001.0000"));
  SW_DeleteTimeStepFiles("", list, true);
  SW_RemoveLaterTimeSteps("", -100, 0);
  EXPECT_TRUE(AK_FileExists("at_0000001.0000.TimeStep"));
  AK_DeleteFile("at_0000001.0000.TimeStep");
  EXPECT_TRUE(messages.HasPrefix("INFO:the simulation has no project directory"));

  ScratchDir target;
  steps.dir.Write("start.log", "log");
  EXPECT_EQ(SW_CopyTimeStepFiles(steps.dir.Path().c_str(), steps.dir.Path().c_str()), 0);
  EXPECT_EQ(SW_CopyTimeStepFiles(steps.dir.Path().c_str(), target.Path().c_str()), 0);
  EXPECT_EQ(AK_ListDirectory(target.Path().c_str(), "TimeStep").Count(), 2);
  EXPECT_EQ(ReadFile(target / "start.log"), "log");
  EXPECT_STREQ(SW_ReadStatusFile(target.Path().c_str()), "finished");

  EXPECT_STREQ(SW_SimulationLabel("Project/Meshes/Valley", "Sim1", 5), "Valley_Sim1_at_0000005.0000");
  EXPECT_STREQ(SW_SimulationLabel("", "Sim1", 0), "simulationSim1_at_0000000.0000");
}
