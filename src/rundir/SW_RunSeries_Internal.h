// The stamp of a run directory's series, as the library reads and writes it (see SW_RunSeries.h).
#pragma once

#include <cstdint>

#include "AK_Basic.h"
#include "SW_RunSeries.h"

struct SW_SeriesStamp {
  AK_String id;  // "" for a run directory without a readable stamp
  uint64_t written = 0;  // changes that wrote time steps
  uint64_t removed = 0;  // changes that only removed some
  bool operator==(const SW_SeriesStamp& other) const
  {
    return id == other.id && written == other.written && removed == other.removed;
  }
};

// The stamp of a run directory as it stands: its counts, its file's version and text, or why it
// cannot be read. Text that is not "<id> <written> <removed>\n" (counts of decimal digits within
// range) is damage: such a stamp has no id and no counts.
struct SW_StampSeen {
  enum class Kind { Missing, Read, Damaged, Unreadable } kind = Kind::Missing;
  SW_SeriesStamp stamp;
  AK_FileVersion version;
  AK_String text;
  AK_String failure;  // Unreadable: the path and the system's reason
  // The same writing of the stamp file.
  bool SameAs(const SW_StampSeen& other) const
  {
    return kind != Kind::Missing && kind != Kind::Unreadable && kind == other.kind && version == other.version &&
           text == other.text;
  }
};
SW_StampSeen SW_LookAtSeriesStamp(const char* runDirectory);
// The counts alone ("" id for none).
SW_SeriesStamp SW_ReadSeriesStamp(const char* runDirectory);
// Gives the series of the run directory a new id, so that no process holds it any more: every
// writer that changes a run directory other than through the gate below (a copy put in place)
// calls it under the directory lock before the first file changes. The reason when the stamp
// cannot be written ("the stamp of the series cannot be written: <path>: <reason>"), else "".
[[nodiscard]] AK_String SW_StartSeriesAnew(const char* runDirectory);
