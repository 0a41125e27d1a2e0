#include "AK_Message.h"

#include <cstdarg>
#include <cstdio>
#include <vector>
#include <cstdlib>
#include <cstring>

AK_MessageFunction AK_MessageHook = AK_DefaultMessageHook;

void AK_DefaultMessageHook(const char* message, const char* location)
{
  std::printf("%s\t(%s)\n", message ? message : "", location ? location : "");
  std::fflush(stdout);
}

static const char* BaseName(const char* path)
{
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

void AK_FormatLocation(char* out, int outSize, const char* file, int line)
{
  std::snprintf(out, static_cast<size_t>(outSize), "%s:%d", BaseName(file ? file : ""), line);
}

void AK_Message(const char* message, const char* file, int line)
{
  char location[512];
  AK_FormatLocation(location, sizeof location, file, line);
  AK_MessageHook(message, location);
}

void AK_ModuleMessage(const char* module, const char* message, AK_SourceLocation where)
{
  AK_Message(message, module, where.line);
}

void AK_MessageAt(const AK_SourceLocation& where, const char* format, ...)
{
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format ? format : "", args);
  va_end(args);
  std::vector<char> text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  AK_Message(text.data(), where.file, where.line);
}

void AK_FatalAssertion(const char* condition, const char* file, int line)
{
  char location[512];
  AK_FormatLocation(location, sizeof location, file, line);
  size_t n = std::strlen(condition) + 32;
  char* text = static_cast<char*>(std::malloc(n));
  if (text) {
    std::snprintf(text, n, "ERROR:FATAL:%s failed!", condition);
    AK_MessageHook(text, location);
  } else {
    AK_MessageHook("ERROR:FATAL: failed!", location);
  }
  std::abort();
}
