// The stamp of a run directory's series and the gate of its writers.
#include "SW_RunSeries_Internal.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>

#include "AK_Files.h"
#include "AK_SmallFile.h"

namespace {

AK_String StampPath(const char* runDirectory) { return AK_JoinPath(runDirectory, ".simulation_series"); }

// An id no other series of any directory has had: drawn from the system's entropy.
AK_String NewSeriesId()
{
  std::random_device entropy;
  const uint64_t high = entropy(), low = entropy();
  return AK_String::Format("%016" PRIx64, (high << 32) ^ low);
}

// A count: decimal digits only, within range.
bool ReadCount(const char*& text, uint64_t& count)
{
  count = 0;
  const char* start = text;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const uint64_t digit = uint64_t(*text - '0');
    if (count > (UINT64_MAX - digit) / 10) return false;
    count = count * 10 + digit;
  }
  return text != start;
}

// "<id> <written> <removed>\n", nothing else.
bool ParseStamp(const char* text, SW_SeriesStamp& stamp)
{
  const char* end = text;
  while (*end > ' ' && *end != 0x7f) ++end;
  if (end == text || end - text > 63 || *end != ' ') return false;
  stamp.id = AK_String(text, end);
  const char* p = end + 1;
  if (!ReadCount(p, stamp.written) || *p++ != ' ' || !ReadCount(p, stamp.removed)) return false;
  return p[0] == '\n' && p[1] == '\0';
}

// The reason when it cannot be written, else "".
AK_String WriteStamp(const char* runDirectory, const SW_SeriesStamp& stamp)
{
  // Always a new file: a holder of the one before never mistakes this one for it.
  const AK_String line = stamp.id + AK_String::Format(" %" PRIu64 " %" PRIu64 "\n", stamp.written, stamp.removed);
  AK_File file = AK_File::ReplacingVolatile(StampPath(runDirectory), "w");
  if (file) std::fputs(line, file);
  if (file && file.Close()) return "";
  return "the stamp of the series cannot be written: " + StampPath(runDirectory) + ": " + std::strerror(errno);
}

}  // namespace

SW_StampSeen SW_LookAtSeriesStamp(const char* runDirectory)
{
  SW_StampSeen seen;
  const AK_Read<AK_FileText> read = AK_ReadSmallFileVersion(StampPath(runDirectory), 4096);
  if (read.IsMissing()) return seen;
  if (read.IsUnreadable()) {
    seen.kind = SW_StampSeen::Kind::Unreadable;
    seen.failure = read.Failure();
    return seen;
  }
  seen.text = read.Value()->text;
  seen.version = read.Value()->version;
  seen.kind = ParseStamp(seen.text, seen.stamp) ? SW_StampSeen::Kind::Read : SW_StampSeen::Kind::Damaged;
  if (seen.kind == SW_StampSeen::Kind::Damaged) seen.stamp = SW_SeriesStamp();
  return seen;
}

SW_SeriesStamp SW_ReadSeriesStamp(const char* runDirectory) { return SW_LookAtSeriesStamp(runDirectory).stamp; }

AK_String SW_SeriesStampReadFailure(const char* runDirectory)
{
  const SW_StampSeen seen = SW_LookAtSeriesStamp(runDirectory);
  return seen.kind == SW_StampSeen::Kind::Unreadable ? seen.failure : AK_String();
}

AK_String SW_StartSeriesAnew(const char* runDirectory) { return WriteStamp(runDirectory, {NewSeriesId(), 0, 0}); }

void SW_SeriesHold::Bind(const char* runDirectory)
{
  if (IsBoundTo(runDirectory)) {
    _path = runDirectory;
    return;
  }
  *this = SW_SeriesHold();
  _path = runDirectory ? runDirectory : "";
  _directory = AK_FileIdentityOfPath(_path);
}

// Kept out of the public header: only the library reads what the stamp file said.
struct SW_SeriesHold::HeldStamp : SW_StampSeen {};

bool SW_SeriesHold::Take(const AK_DirectoryLock& locked, const char* runDirectory)
{
  _path = runDirectory ? runDirectory : "";
  _directory = AK_FileIdentityOfPath(_path);
  _stamp.reset();
  _holds = false;
  _handedOver = false;
  if (!_directory.known || !locked.Held() || !AK_HoldsDirectoryLock(_path)) return false;
  SW_StampSeen seen = SW_LookAtSeriesStamp(_path);
  // A hold is always of a stamp that stands: the absence of one could come back.
  if (seen.kind == SW_StampSeen::Kind::Missing) {
    if (!SW_StartSeriesAnew(_path).IsEmpty()) return false;
    seen = SW_LookAtSeriesStamp(_path);
  }
  if (seen.kind != SW_StampSeen::Kind::Read && seen.kind != SW_StampSeen::Kind::Damaged) return false;
  _stamp = std::make_shared<const HeldStamp>(HeldStamp{std::move(seen)});
  _holds = true;
  return true;
}

void SW_SeriesHold::Drop()
{
  _holds = false;
  _handedOver = false;
}

bool SW_SeriesHold::IsBoundTo(const char* runDirectory) const
{
  return runDirectory && *runDirectory && _directory.SameAs(AK_FileIdentityOfPath(runDirectory));
}

SW_SeriesHold::Since SW_SeriesHold::ChangesSince(const char* runDirectory, AK_String* failure) const
{
  if (_handedOver || !_holds) return Since::Written;
  // The directory held is gone, or another stands in its place: everything in it was removed.
  if (!IsBoundTo(runDirectory))
    return AK_FileIdentityOfPath(_path).SameAs(_directory) ? Since::Written : Since::Removed;
  const SW_StampSeen now = SW_LookAtSeriesStamp(runDirectory);
  if (now.kind == SW_StampSeen::Kind::Unreadable) {
    if (failure) *failure = now.failure;
    return Since::Unreadable;
  }
  const SW_StampSeen& held = *_stamp;
  if (now.SameAs(held)) return Since::Nothing;
  // The stamp held is gone (with its directory, whose number a new one may have taken over):
  // everything it stood for was removed.
  if (now.kind == SW_StampSeen::Kind::Missing) return Since::Removed;
  const bool onlyRemoved = now.kind == SW_StampSeen::Kind::Read && held.kind == SW_StampSeen::Kind::Read &&
                           now.stamp.id == held.stamp.id && now.stamp.written == held.stamp.written &&
                           now.stamp.removed > held.stamp.removed;
  return onlyRemoved ? Since::Removed : Since::Written;
}

SW_SeriesHold::Gate SW_SeriesHold::Pass(const AK_DirectoryLock& locked, const char* runDirectory,
                                        SW_SeriesChange change)
{
  Gate gate;
  if (!locked.Held() || !AK_HoldsDirectoryLock(runDirectory)) {
    gate.failure = "the run directory cannot be locked: " +
                   (locked.Failure().IsEmpty() ? AK_String(runDirectory) : locked.Failure());
    return gate;
  }
  if (change == SW_SeriesChange::RecordNewest) {
    gate.passed = true;
    return gate;
  }
  if (change != SW_SeriesChange::Anew) {
    AK_String why;
    const Since since = ChangesSince(runDirectory, &why);
    if (since == Since::Unreadable) gate.failure = "the stamp of the series cannot be read: " + why;
    if (since != Since::Nothing) return gate;
    if (change == SW_SeriesChange::Record) {
      gate.passed = true;
      return gate;
    }
  }
  // A series goes on under its id; one with a damaged stamp gets an id of its own.
  SW_SeriesStamp next = _stamp ? _stamp->stamp : SW_SeriesStamp();
  if (change == SW_SeriesChange::Anew || !_stamp || _stamp->kind != SW_StampSeen::Kind::Read)
    next = SW_SeriesStamp{NewSeriesId(), 0, 0};
  if (change == SW_SeriesChange::Remove) ++next.removed;
  else ++next.written;
  // Written before any time step: a writer killed half-way leaves every other process knowing
  // that the series has changed.
  if (AK_String failure = WriteStamp(runDirectory, next); !failure.IsEmpty()) {
    gate.failure = failure;
    return gate;
  }
  gate.passed = Take(locked, runDirectory);
  if (!gate.passed) {
    const SW_StampSeen seen = SW_LookAtSeriesStamp(runDirectory);
    gate.failure = "the stamp of the series cannot be read back: " +
                   (seen.failure.IsEmpty() ? StampPath(runDirectory) : seen.failure);
  }
  return gate;
}

