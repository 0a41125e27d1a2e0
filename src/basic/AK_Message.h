// Messages and fatal assertions: every message of the system travels through one
// replaceable hook together with its location ("file:line").
#pragma once

#include <type_traits>

// Where a call stands in the source. Used as a defaulted argument,
// `AK_SourceLocation where = AK_SourceLocation::Current()`, it names the caller's file and
// line. (The compilers' own builtins, because not every standard library the fuzz build
// uses has std::source_location.)
struct AK_SourceLocation {
  const char* file;
  int line;
  static constexpr AK_SourceLocation Current(const char* file = __builtin_FILE(),
                                             int line = __builtin_LINE())
  {
    return {file, line};
  }
};

using AK_MessageFunction = void (*)(const char* message, const char* location);

// The process-wide message hook; replace it to capture or redirect messages.
extern AK_MessageFunction AK_MessageHook;

// Prints the message, a TAB and "(location)" on standard output.
void AK_DefaultMessageHook(const char* message, const char* location);

// Sends a message with the location "<base name of file>:<line>".
void AK_Message(const char* message, const char* file, int line);

// Sends a message with the location "<module>:<line of the caller>", for modules whose
// messages carry a module name instead of their file's name. A helper that sends on behalf
// of its caller takes an AK_SourceLocation argument defaulted to the caller's and hands
// it on, so the line is always the caller's.
void AK_ModuleMessage(const char* module, const char* message,
                      AK_SourceLocation where = AK_SourceLocation::Current());

// Sends a printf-style message with the caller's location "<base name of file>:<line>":
//   AK_Messagef("%d cells discarded", n);
// Texts (AK_String included) pass as "%s".
void AK_MessageAt(const AK_SourceLocation& where, const char* format, ...);

template <class T>
decltype(auto) AK_PrintfArgument(const T& value)
{
  if constexpr (std::is_convertible_v<const T&, const char*>) return static_cast<const char*>(value);
  else return value;
}

template <class... Args>
struct AK_Messagef {
  AK_Messagef(const char* format, const Args&... args,
              AK_SourceLocation where = AK_SourceLocation::Current())
  {
    AK_MessageAt(where, format, AK_PrintfArgument(args)...);
  }
};
template <class... Args>
AK_Messagef(const char*, const Args&...) -> AK_Messagef<Args...>;

// Formats the location text "<base name of file>:<line>".
void AK_FormatLocation(char* out, int outSize, const char* file, int line);

// "ERROR:FATAL:" + condition + " failed!" through the hook, then abort.
[[noreturn]] void AK_FatalAssertion(const char* condition, const char* file, int line);

#define AK_MESSAGE(msg) AK_Message((msg), __FILE__, __LINE__)
#define AK_FATAL_ASSERT(cond) \
  do { if (!(cond)) AK_FatalAssertion(#cond, __FILE__, __LINE__); } while (0)
// Assertion with an explicit condition text, for the conditions whose names callers know.
#define AK_FATAL_ASSERT_NAMED(cond, name) \
  do { if (!(cond)) AK_FatalAssertion((name), __FILE__, __LINE__); } while (0)
