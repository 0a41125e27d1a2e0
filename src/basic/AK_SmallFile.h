// The small files that processes of the program share (a lock, a status, a mark of unfinished
// work, ...) and directories they look into, read in one go. What a read found is exactly one of
// three: nothing stands there, it was read, or it stands (or nobody can tell) and cannot be read,
// with the reason. The third is never the first: whoever takes a lock it cannot read for none, or
// a status it cannot read for "no run", acts on a state it never saw.
#pragma once

#include <cerrno>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "AK_Array.h"
#include "AK_Files.h"
#include "AK_String.h"

// The outcome of one read. It must be looked at, and what was read is reached only through
// Value(), which answers nothing unless the read succeeded: no caller can use it as text without
// choosing what a missing or an unreadable file means to it.
template <class T>
class [[nodiscard]] AK_Read {
public:
  static AK_Read Missing() { return AK_Read(State::Missing, T(), AK_String()); }
  static AK_Read Found(T value) { return AK_Read(State::Read, std::move(value), AK_String()); }
  // `failure` names what cannot be read and why: "<path>: <the system's reason>".
  static AK_Read Unreadable(AK_String failure) { return AK_Read(State::Unreadable, T(), std::move(failure)); }

  bool IsMissing() const { return _state == State::Missing; }
  bool IsRead() const { return _state == State::Read; }
  bool IsUnreadable() const { return _state == State::Unreadable; }
  // What was read; null when nothing was.
  const T* Value() const { return _state == State::Read ? &_value : nullptr; }
  // Why it cannot be read ("<path>: <the system's reason>"); "" unless IsUnreadable().
  const AK_String& Failure() const { return _failure; }

  // The same outcome with what was read turned into what it says.
  template <class Turn>
  auto Then(Turn turn) const -> AK_Read<std::decay_t<decltype(turn(std::declval<const T&>()))>>
  {
    using U = std::decay_t<decltype(turn(std::declval<const T&>()))>;
    if (const T* value = Value()) return AK_Read<U>::Found(turn(*value));
    return IsMissing() ? AK_Read<U>::Missing() : AK_Read<U>::Unreadable(_failure);
  }

private:
  enum class State { Missing, Read, Unreadable };
  AK_Read(State state, T value, AK_String failure) : _state(state), _value(std::move(value)), _failure(std::move(failure))
  {
  }
  State _state;
  T _value;
  AK_String _failure;
};

// "cannot read <path>: <reason>": the words every refusal for what cannot be read uses.
template <class T>
AK_String AK_CannotRead(const AK_Read<T>& read)
{
  return "cannot read " + read.Failure();
}

// A small file's content with the version of the very file read (AK_FileVersion).
struct AK_FileText {
  AK_String text;
  AK_FileVersion version;
};

// The small files of a run directory stay far below this; one above it is damage nobody reads.
inline constexpr size_t kSmallFileLimit = size_t(1) << 20;

// Reads the whole small regular file at `path` (at most `limit` bytes). Missing when nothing
// stands there (a dangling symbolic link included); Unreadable when it cannot be opened or read,
// is no regular file, is longer than `limit`, or a directory on the way cannot be entered.
AK_Read<AK_FileText> AK_ReadSmallFileVersion(const char* path, size_t limit = kSmallFileLimit);
// The same, the text alone.
AK_Read<AK_String> AK_ReadSmallFile(const char* path, size_t limit = kSmallFileLimit);

// The names in a directory as AK_ListDirectory gives them (sorted, only those with the extension
// when one is given). Missing when no directory stands there; Unreadable when it cannot be listed
// (no read permission, a directory on the way that cannot be entered, an I/O error part-way).
// Something other than a directory in its place holds no entries: Missing.
AK_Read<AK_Array<AK_String>> AK_ReadDirectory(const char* directory, const char* extension = "");

// Why a listing of `directory` that failed with `error` read nothing: "" when no directory stands
// there, else "<path>: <the system's reason>".
AK_String AK_DirectoryNotRead(const char* directory, int error);

// AK_ReadDirectory's outcome without its list: each name (only those with the extension when one
// is given) goes to `visit(value, name)` in the directory's own order as the one pass reads it, and
// what the visits made of `value` is what was read. A pass that wants one name of a directory that
// may hold a long series keeps and sorts no list of it.
template <class T, class Visit>
AK_Read<T> AK_ReadDirectoryInto(const char* directory, const char* extension, T value, Visit visit)
{
  if (AK_VisitDirectory(directory, extension, [&](const char* name) { visit(value, name); }))
    return AK_Read<T>::Found(std::move(value));
  const AK_String failure = AK_DirectoryNotRead(directory, errno);
  return failure.IsEmpty() ? AK_Read<T>::Missing() : AK_Read<T>::Unreadable(failure);
}
