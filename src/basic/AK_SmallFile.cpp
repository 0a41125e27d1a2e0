// One reader for the small files that processes share, and for a directory's listing.
#include "AK_SmallFile.h"

#include <cerrno>
#include <cstring>

AK_Read<AK_FileText> AK_ReadSmallFileVersion(const char* path, size_t limit)
{
  AK_FileText read;
  AK_String failure;
  switch (AK_ReadFileVersion(path, limit, read.text, read.version, failure)) {
    case AK_VersionRead::Read: return AK_Read<AK_FileText>::Found(std::move(read));
    case AK_VersionRead::Missing: return AK_Read<AK_FileText>::Missing();
    case AK_VersionRead::Failed: break;
  }
  return AK_Read<AK_FileText>::Unreadable(failure);
}

AK_Read<AK_String> AK_ReadSmallFile(const char* path, size_t limit)
{
  return AK_ReadSmallFileVersion(path, limit).Then([](const AK_FileText& read) { return read.text; });
}

AK_Read<AK_Array<AK_String>> AK_ReadDirectory(const char* directory, const char* extension)
{
  bool listed = true;
  AK_Array<AK_String> names = AK_ListDirectory(directory, extension, &listed);
  if (listed) return AK_Read<AK_Array<AK_String>>::Found(std::move(names));
  const AK_String failure = AK_DirectoryNotRead(directory, errno);
  return failure.IsEmpty() ? AK_Read<AK_Array<AK_String>>::Missing() : AK_Read<AK_Array<AK_String>>::Unreadable(failure);
}

AK_String AK_DirectoryNotRead(const char* directory, int error)
{
  const AK_String path = AK_NormalizePath(directory && *directory ? directory : ".");
  // Whether nothing stands there is asked of the path itself: a listing fails alike for a
  // directory that is not there and for one on a way that cannot be entered.
  AK_String failure;
  switch (AK_LookAtPath(path, &failure)) {
    case AK_PathLook::Missing: return "";
    case AK_PathLook::Failed: return failure;
    case AK_PathLook::Found: break;
  }
  if (error == ENOENT || error == ENOTDIR) return "";
  return path + ": " + std::strerror(error ? error : EIO);
}
