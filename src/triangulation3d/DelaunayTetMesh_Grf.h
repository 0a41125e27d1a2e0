// A debug graphics file in the current directory, created or truncated when opened and
// closed at the end of its scope. One that cannot be created is reported once; writing to
// it then does nothing.
#pragma once

#include <cstdio>
#include <string>

#include "AK_Message.h"

struct GrfFile {
  std::FILE* f;
  explicit GrfFile(const char* name) : f(std::fopen(name, "w"))
  {
    if (!f) AK_Message((std::string("WARNING:cannot write ") + name).c_str(), __FILE__, __LINE__);
  }
  ~GrfFile()
  {
    if (f) std::fclose(f);
  }
  GrfFile(const GrfFile&) = delete;
  GrfFile& operator=(const GrfFile&) = delete;
};
