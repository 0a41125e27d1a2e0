// ParseCommand on any line. A value that parses is written back with AK_FormatSetCommand
// and must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"

static bool Simple(const AK_String& text)
{
  return !std::strpbrk(text, "\",$") && !std::strchr(text, '\n');
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\0'));
  AK_Object object("o", nullptr);
  object.SetVariable("$v", "value");
  AK_String kind, path, attribute, value;
  if (object.ParseCommand(line.c_str(), kind, path, attribute, value) != 0) return 0;
  if (!(kind == "set") || !Simple(path) || !Simple(attribute)) return 0;
  AK_String written = AK_FormatSetCommand(path, attribute, value);
  AK_String kind2, path2, attribute2, value2;
  if (object.ParseCommand(written, kind2, path2, attribute2, value2) != 0 || !(value2 == value) ||
      !(path2 == path) || !(attribute2 == attribute))
    __builtin_trap();
  return 0;
}
