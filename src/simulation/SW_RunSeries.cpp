// The stamp of a run directory's series and the gate of its writers.
#include "SW_RunSeries.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>

#include "AK_Files.h"
#include "SW_TimeStepList.h"

namespace {

AK_String StampPath(const char* runDirectory) { return AK_JoinPath(runDirectory, ".simulation_series"); }

// An id no other series of any directory has had: drawn from the system's entropy.
AK_String NewSeriesId()
{
  std::random_device entropy;
  const uint64_t high = entropy(), low = entropy();
  return AK_String::Format("%016" PRIx64, (high << 32) ^ low);
}

}  // namespace

SW_SeriesStamp SW_ReadSeriesStamp(const char* runDirectory)
{
  SW_SeriesStamp stamp;
  AK_String text;
  if (!AK_ReadTextFile(StampPath(runDirectory), text)) return stamp;
  char id[64];
  unsigned long long written = 0, removed = 0;
  char end = 0;
  if (std::sscanf(text, "%63s %llu %llu%c", id, &written, &removed, &end) == 4 && end == '\n') {
    stamp.id = id;
    stamp.written = written;
    stamp.removed = removed;
    return stamp;
  }
  // A damaged stamp is held by whoever read it so, and by no one once a writer mends it.
  stamp.id = "damaged:" + text;
  return stamp;
}

void SW_SeriesHold::Bind(const char* runDirectory)
{
  if (IsBoundTo(runDirectory)) return;
  *this = SW_SeriesHold();
  _path = runDirectory ? runDirectory : "";
  _directory = AK_FileIdentityOfPath(_path);
}

void SW_SeriesHold::Take(const char* runDirectory)
{
  _path = runDirectory ? runDirectory : "";
  _directory = AK_FileIdentityOfPath(_path);
  _stamp = SW_ReadSeriesStamp(_path);
  _holds = _directory.known;
  _handedOver = false;
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

SW_SeriesHold::Since SW_SeriesHold::ChangesSince(const char* runDirectory) const
{
  if (_handedOver) return Since::Written;
  // A series that no writer ever began (no stamp, no time step) is there for every process.
  if (!_holds || !IsBoundTo(runDirectory))
    return AK_IsDirectory(runDirectory) && SW_ReadSeriesStamp(runDirectory).id.IsEmpty() &&
                   SW_NewestTimeStep(runDirectory).IsEmpty()
               ? Since::Nothing
               : Since::Written;
  const SW_SeriesStamp now = SW_ReadSeriesStamp(runDirectory);
  if (now == _stamp) return Since::Nothing;
  return now.id == _stamp.id && now.written == _stamp.written ? Since::Removed : Since::Written;
}

SW_SeriesHold::Gate SW_SeriesHold::Pass(const AK_DirectoryLock&, const char* runDirectory, SW_SeriesChange change)
{
  Gate gate;
  if (change != SW_SeriesChange::Anew && !Holds(runDirectory)) return gate;
  if (change == SW_SeriesChange::Record) {
    gate.passed = true;
    return gate;
  }
  // A series goes on under its id; one of a directory without a stamp, or with a damaged one,
  // gets an id of its own.
  SW_SeriesStamp next = _stamp;
  if (change == SW_SeriesChange::Anew || _stamp.id.IsEmpty() || std::strchr(_stamp.id, ':'))
    next = SW_SeriesStamp{NewSeriesId(), 0, 0};
  if (change == SW_SeriesChange::Remove) ++next.removed;
  else ++next.written;
  // Written before any time step: a writer killed half-way leaves every other process knowing
  // that the series has changed.
  const AK_String line = next.id + AK_String::Format(" %llu %llu\n", static_cast<unsigned long long>(next.written),
                                                     static_cast<unsigned long long>(next.removed));
  AK_File file = AK_File::ReplacingVolatile(StampPath(runDirectory), "w");
  if (file) std::fputs(line, file);
  if (!file || !file.Close()) {
    gate.failure = "the stamp of the series cannot be written: " + StampPath(runDirectory) + ": " + std::strerror(errno);
    return gate;
  }
  Bind(runDirectory);
  _stamp = next;
  _holds = true;
  _handedOver = false;
  gate.passed = true;
  return gate;
}
