// Messages and fatal assertions: every message of the system travels through one
// replaceable hook together with its location ("file:line").
#pragma once

#include <source_location>
#include <type_traits>

using AK_MessageFunction = void (*)(const char* message, const char* location);

// The process-wide message hook; replace it to capture or redirect messages.
extern AK_MessageFunction AK_MessageHook;

// Prints the message, a TAB and "(location)" on standard output.
void AK_DefaultMessageHook(const char* message, const char* location);

// Sends a message with the location "<base name of file>:<line>".
void AK_Message(const char* message, const char* file, int line);

// Sends a message with the location "<module>:<line of the caller>", for modules whose
// messages carry a module name instead of their file's name. A helper that sends on behalf
// of its caller takes a std::source_location argument defaulted to the caller's and hands
// it on, so the line is always the caller's.
void AK_ModuleMessage(const char* module, const char* message,
                      std::source_location where = std::source_location::current());

// Sends a printf-style message with the caller's location "<base name of file>:<line>":
//   AK_Messagef("%d cells discarded", n);
// Texts (AK_String included) pass as "%s".
void AK_MessageAt(const std::source_location& where, const char* format, ...);

template <class T>
decltype(auto) AK_PrintfArgument(const T& value)
{
  if constexpr (std::is_convertible_v<const T&, const char*>) return static_cast<const char*>(value);
  else return value;
}

template <class... Args>
struct AK_Messagef {
  AK_Messagef(const char* format, const Args&... args,
              std::source_location where = std::source_location::current())
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
