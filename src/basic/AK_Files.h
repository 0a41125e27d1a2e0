// Files and directories. Every function here that touches the file system first passes its
// path through AK_NormalizePath, so paths written with backslashes (macros and project files
// made on other systems) still work. The separator this program writes is AK_DIR_SEP.
#pragma once

#include <cstdint>
#include <cstdio>

#include "AK_Array.h"
#include "AK_String.h"

constexpr char AK_DIR_SEP = '/';
constexpr const char* AK_DIR_SEP_TEXT = "/";

// The path with every "\" turned into "/".
AK_String AK_NormalizePath(const char* path);

// Joins a directory and a name with AK_DIR_SEP ("" joins as "."; no doubled separator).
AK_String AK_JoinPath(const char* directory, const char* name);

// fopen through AK_NormalizePath.
std::FILE* AK_FileOpen(const char* path, const char* mode);

// Reads one text line without its line end; a CRLF line end loses its CR as well. False at the
// end of the file when nothing was read.
bool AK_ReadLine(std::FILE* file, AK_String& line);

// Reads a whole file; false when it cannot be opened or read.
bool AK_ReadTextFile(const char* path, AK_String& text);

// 1 when the path names a file or a directory, else 0.
int AK_FileExists(const char* path);
// 1 when the path names a directory.
int AK_IsDirectory(const char* path);

// Creates one directory level: 0 on success or when the directory exists, -1 otherwise.
int AK_MakeDirectory(const char* path);

// Renames (moves) a file or directory: 0 on success, -1 otherwise. An existing target is
// never replaced: that is a failure, not a silent overwrite.
int AK_RenameFile(const char* oldPath, const char* newPath);

// Deletes a directory with all its files and sub-directories (symbolic links are removed, not
// followed): 0 on success, -1 otherwise.
int AK_DeleteDirectoryTree(const char* path);

// Removes an (empty) directory when the path names one, otherwise deletes the file:
// 0 on success, -1 otherwise.
int AK_DeleteFile(const char* path);

// Copies a file byte for byte: 0 on success, 1 when the source cannot be opened, 2 when the
// target cannot be opened, 3 on a read error of the source, 4 when the target could not be
// written or closed completely (a full disk is not a success). A target that is the source
// itself (under another spelling of its path) is left untouched: 0.
int AK_CopyFile(const char* source, const char* target);

// Names (without directory) of the files and sub-directories of a directory, sorted ascending
// by byte comparison, without ".", ".." and names beginning with "..". With a non-empty
// extension only names whose AK_String::GetExtension equals it exactly. A directory that
// cannot be opened gives an empty list.
AK_Array<AK_String> AK_ListDirectory(const char* directory, const char* extension);

// The environment variable HOME, else the current directory.
AK_String AK_HomeDirectory();

// The current working directory ("" when unknown).
AK_String AK_CurrentDirectory();
