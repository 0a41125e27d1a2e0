// Marks of unfinished work in a run directory.
#include "SW_WorkMarks_Internal.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "SW_RunSeries_Internal.h"

namespace {

// The series of a run directory as a mark records it.
AK_String SeriesOfMark(const char* runDirectory)
{
  const SW_StampSeen seen = SW_LookAtSeriesStamp(runDirectory);
  if (seen.kind == SW_StampSeen::Kind::Missing) return "-";
  AK_String text = seen.text;
  text.Trim();
  return text.IsEmpty() ? AK_String("-") : text;
}

constexpr const char* kSeriesLine = "series ";

}  // namespace

AK_String SW_WriteWorkMark(const char* runDirectory, const char* file, const char* what)
{
  const AK_String path = AK_JoinPath(runDirectory, file);
  const std::string text = std::string(what) + "\n" + kSeriesLine + SeriesOfMark(runDirectory).c_str() + "\n";
  // A mark is no file of a save that made the directory: while it stands, a save that failed
  // leaves the directory whole to whoever finishes the work it marks.
  const auto observer = std::exchange(AK_FilePutInPlace, nullptr);
  const bool written = AK_WriteWholeFile(path, text);
  const int error = errno;
  AK_FilePutInPlace = observer;
  if (written) return "";
  return "cannot write " + path + ": " + std::strerror(error);
}

AK_Read<SW_WorkMark> SW_ReadWorkMark(const char* runDirectory, const char* file)
{
  return AK_ReadSmallFile(AK_JoinPath(runDirectory, file)).Then([](const AK_String& text) {
    SW_WorkMark mark;
    const char* newline = std::strchr(text, '\n');
    mark.what = newline ? AK_String(text.c_str(), newline) : text;
    mark.what.Trim();
    if (newline && std::strncmp(newline + 1, kSeriesLine, std::strlen(kSeriesLine)) == 0) {
      mark.series = newline + 1 + std::strlen(kSeriesLine);
      mark.series.Trim();
      mark.namesSeries = !mark.series.IsEmpty();
    }
    return mark;
  });
}

AK_Read<SW_WorkMark> SW_ReadFirstWorkMark(const char* runDirectory, std::initializer_list<const char*> files,
                                          const char*& file)
{
  for (const char* name : files)
    if (AK_Read<SW_WorkMark> mark = SW_ReadWorkMark(runDirectory, name); !mark.IsMissing()) {
      file = name;
      return mark;
    }
  file = nullptr;
  return AK_Read<SW_WorkMark>::Missing();
}

bool SW_WorkIsMarked(const char* runDirectory, std::initializer_list<const char*> files)
{
  for (const char* file : files)
    if (AK_LookAtPath(AK_JoinPath(runDirectory, file)) != AK_PathLook::Missing) return true;
  return false;
}

bool SW_MarkIsCurrent(const char* runDirectory, const SW_WorkMark& mark)
{
  return mark.namesSeries && mark.series == SeriesOfMark(runDirectory);
}

AK_String SW_RemoveWorkMark(const char* runDirectory, const char* file)
{
  const AK_String path = AK_JoinPath(runDirectory, file);
  if (AK_DeleteFile(path) == 0 || AK_LookAtPath(path) == AK_PathLook::Missing) return "";
  return "cannot remove " + path + ": " + std::strerror(errno);
}
