// The time-step file: format, writer and reader.
#include "SW_TimeStepFile.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "AK_FrameworkState.h"
#include "SW_ResultFields.h"

namespace {

// The particle set's records open their block; the result fields' follow in table order.
constexpr const char* kParticleMainTags[] = {"particles", "particles:Position", "particles:Velocity",
                                             "particles:Mass"};
constexpr const char* kParticleEnthalpyTags[] = {"particles:TotalEnthalpy"};

constexpr const char* kFileTag = "SW_Simulation::TimeStep:v0";
constexpr const char* kHeaderTagV0 = "SW_Simulation:v0";
constexpr const char* kHeaderTagV1 = "SW_Simulation:v1";
constexpr const char* kMainEndTag = "SW_Simulation::TimeStep:end";
constexpr const char* kEnthalpyEndTag = "SW_Simulation_Enthalpy::TimeStep:end";

void StoreIoError(const char* objectPath, const char* file, int line)
{
  char where[256];
  AK_FormatLocation(where, sizeof where, file, line);
  AK_ErrorText = AK_String(objectPath) + ": IO error at " + where;
}

// A tag: its length within the tag limit, then its bytes. False when none could be read, which
// also marks the stream as failed.
bool ReadTag(AK_STREAM& stream, AK_String& tag)
{
  int32_t length = -1;
  stream >> length;
  if (stream.Fail() || length < 0 || length > SW_TimeStepTagLimit) {
    stream.MarkFailed();
    return false;
  }
  char bytes[SW_TimeStepTagLimit + 1];
  if (AK_StreamReadBytes(stream, bytes, length) != length) return false;
  tag = AK_String(bytes, bytes + length);
  return true;
}

// True when the time-step file of the time can exist: its name fits a file name.
bool NameableTime(double time)
{
  constexpr size_t kFileNameLimit = 255;
  return size_t(SW_TimeStepName(time).Length()) + std::strlen(".TimeStep") <= kFileNameLimit;
}

// The tags written into a block, in order.
template <size_t N>
AK_Array<const char*> BlockTags(const char* const (&particleTags)[N], SW_TimeStepBlock block)
{
  AK_Array<const char*> tags;
  for (const char* tag : particleTags) tags.Append(tag);
  for (const SW_ResultFieldKind& kind : SW_ResultFields)
    if (kind.block == block) tags.Append(kind.timeStepTag);
  return tags;
}

// Whether a tag read in a block is followed by a record of the block (the main block also
// takes the records that are read but no longer written).
template <size_t N>
bool ReadIn(const AK_String& tag, const char* const (&particleTags)[N], SW_TimeStepBlock block)
{
  for (const char* known : particleTags)
    if (tag == known) return true;
  const int row = SW_ResultFieldOfTag(tag.c_str());
  if (row < 0) return false;
  const SW_TimeStepBlock in = SW_ResultFields[row].block;
  return in == block || (block == SW_TimeStepBlock::Main && in == SW_TimeStepBlock::ReadOnly);
}

// Writes a block's tags, each followed by its record; false when a record failed.
bool WriteBlock(AK_STREAM& stream, SW_TimeStepRecords& records, const AK_Array<const char*>& tags)
{
  bool written = true;
  for (const char* tag : tags) {
    stream << tag;
    written &= records.WriteRecord(tag, stream) == 0;
  }
  return written;
}

// A block of tagged records up to its end tag. 1 when the block ended at its tag, 0 when no
// further tag could be read, -1 when a record failed.
template <class Known>
int ReadBlock(AK_STREAM& stream, SW_TimeStepRecords& records, const char* endTag, Known known)
{
  AK_String tag;
  while (ReadTag(stream, tag)) {
    if (tag == endTag) return 1;
    if (!known(tag)) continue;
    if (records.ReadRecord(tag, stream) != 0 || stream.Fail()) return -1;
  }
  return 0;
}

}  // namespace

int SW_WriteTimeStepHeader(AK_STREAM& stream, const SW_TimeStepHeader& header, const char* objectPath)
{
  stream << kHeaderTagV1;
  stream << header.currentTime;
  if (stream.Fail()) {
    StoreIoError(objectPath, __FILE__, __LINE__);
    return 1;
  }
  stream << header.peakKineticEnergy;
  if (stream.Fail()) {
    StoreIoError(objectPath, __FILE__, __LINE__);
    return 1;
  }
  return 0;
}

int SW_ReadTimeStepHeader(AK_STREAM& stream, SW_TimeStepHeader& header, const char* objectPath)
{
  AK_String tag;
  bool read = ReadTag(stream, tag);
  int version = !read ? -1 : tag == kHeaderTagV1 ? 1 : tag == kHeaderTagV0 ? 0 : -1;
  double time = 0, peak = header.peakKineticEnergy;
  if (version >= 0) stream >> time;
  if (version == 1) stream >> peak;
  // A time no run reaches and no file could be named after is a damaged header, not a state.
  const bool timeValid = std::isfinite(time) && time >= 0 && NameableTime(time);
  if (version < 0 || stream.Fail() || !timeValid) {
    StoreIoError(objectPath, __FILE__, __LINE__);
    return 1;
  }
  header.currentTime = time + 0.0;  // -0 is the start of the run
  header.peakKineticEnergy = peak;
  header.hasPeakKineticEnergy = version == 1;
  return 0;
}

namespace {

// Why the system refused the file (a full disk, a directory without write permission, the
// file-size limit), as ": " and the system's message; "" when it did not.
AK_String SystemReason(const AK_STREAM& stream)
{
  const AK_String reason = AK_StreamSystemError(stream);
  return reason.IsEmpty() ? reason : ": " + reason;
}

}  // namespace

int SW_SaveTimeStepFile(const char* directory, const SW_TimeStepHeader& header,
                        SW_TimeStepRecords& records, const char* objectPath)
{
  if (!directory || !*directory) {
    AK_MESSAGE("INFO:the simulation has no project directory: no time step written");
    return 1;
  }
  AK_String path = SW_TimeStepPath(directory, SW_TimeStepName(header.currentTime));
  AK_STREAM stream;
  if (!AK_StreamOpenReplacing(stream, path, "wb")) {
    AK_ErrorText = AK_String(objectPath) + " cannot open " + path + SystemReason(stream);
    return 1;
  }
  AK_MESSAGE(AK_String("saving time step data to ") + path);

  // Every item is attempted; the stream's flag stays set once anything failed.
  bool failed = false;
  stream << kFileTag;
  failed |= SW_WriteTimeStepHeader(stream, header, objectPath) != 0;
  failed |= !WriteBlock(stream, records, BlockTags(kParticleMainTags, SW_TimeStepBlock::Main));
  stream << kMainEndTag;
  failed |= !WriteBlock(stream, records, BlockTags(kParticleEnthalpyTags, SW_TimeStepBlock::Enthalpy));
  stream << kEnthalpyEndTag;
  failed |= stream.Fail();
  // Only a complete file takes the place of the old one: a stream left unclosed is discarded.
  if (!failed) failed = AK_StreamClose(stream) != 0;
  if (failed) {
    AK_ErrorText = AK_String(objectPath) + " cannot save timestep data" + SystemReason(stream);
    return 1;
  }
  AK_MESSAGE(AK_String("saving time step data to ") + path + " done.");
  return 0;
}

SW_TimeStepLoadResult SW_ReadTimeStepStream(AK_STREAM& stream, SW_TimeStepHeader& header,
                                            SW_TimeStepRecords& records, const char* objectPath)
{
  AK_String tag;
  if (!ReadTag(stream, tag)) return SW_TimeStepLoadResult::Failed;
  // Another version's records may mean anything: nothing of such a file is taken.
  if (tag != kFileTag) return SW_TimeStepLoadResult::NotATimeStep;
  SW_TimeStepHeader read = header;
  if (SW_ReadTimeStepHeader(stream, read, objectPath) != 0) return SW_TimeStepLoadResult::Failed;

  auto inMain = [](const AK_String& t) { return ReadIn(t, kParticleMainTags, SW_TimeStepBlock::Main); };
  if (ReadBlock(stream, records, kMainEndTag, inMain) != 1) return SW_TimeStepLoadResult::Failed;
  auto inEnthalpy = [](const AK_String& t) {
    return ReadIn(t, kParticleEnthalpyTags, SW_TimeStepBlock::Enthalpy);
  };
  if (ReadBlock(stream, records, kEnthalpyEndTag, inEnthalpy) < 0) return SW_TimeStepLoadResult::Failed;
  if (!records.Whole()) return SW_TimeStepLoadResult::Failed;
  header = read;
  return SW_TimeStepLoadResult::Loaded;
}

SW_TimeStepLoadResult SW_LoadTimeStepFile(const char* directory, const char* name,
                                          SW_TimeStepHeader& header, SW_TimeStepRecords& records,
                                          const char* objectPath)
{
  AK_String path = SW_TimeStepPath(directory, name);
  AK_STREAM stream;
  if (!AK_StreamOpen(stream, path, "rb")) {
    AK_MESSAGE(AK_String("INFO:cannot open ") + path);
    return SW_TimeStepLoadResult::NotOpened;
  }
  AK_MESSAGE(AK_String("loading time step data from ") + path);
  SW_TimeStepLoadResult result = SW_ReadTimeStepStream(stream, header, records, objectPath);
  (void)AK_StreamClose(stream);  // a file read: its close changes nothing on the disk
  if (result == SW_TimeStepLoadResult::Failed)
    AK_ErrorText = AK_String(objectPath) + " cannot load timestep data";
  else if (result == SW_TimeStepLoadResult::NotATimeStep)
    AK_ErrorText = AK_String(objectPath) + " cannot load basic data";
  else
    AK_MESSAGE(AK_String("loading time step data from ") + path + " done.");
  return result;
}
