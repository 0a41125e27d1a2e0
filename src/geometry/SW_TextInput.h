// Opening the text files of outside data that the terrain, line and area readers take.
//
// Only a regular file is read: a directory reads as nothing, and a device or a FIFO may read
// forever (/dev/zero). A UTF-8 byte-order mark at the start of the file is skipped, so that
// the first line reads as the same line without it.
#pragma once

#include <fstream>

#include "AK_Basic.h"

// Opens the file for reading (mode "r" or "rb"); false, and the file closed, when the path
// names no regular file or the file cannot be opened.
bool SW_OpenTextInput(AK_File& file, const char* path, const char* mode = "r");
bool SW_OpenTextInput(std::ifstream& in, const char* path);

// The error text of a path that SW_OpenTextInput refused: "'<path>' is no regular file" for
// something that exists but is no regular file, else the reader's own text.
AK_String SW_TextInputError(const char* path, const AK_String& cannotOpen);
