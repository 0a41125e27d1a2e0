// Messages and fatal assertions: every message of the system travels through one
// replaceable hook together with its location ("file:line").
#pragma once

using AK_MessageFunction = void (*)(const char* message, const char* location);

// The process-wide message hook; replace it to capture or redirect messages.
extern AK_MessageFunction AK_MessageHook;

// Prints the message, a TAB and "(location)" on standard output.
void AK_DefaultMessageHook(const char* message, const char* location);

// Sends a message with the location "<base name of file>:<line>".
void AK_Message(const char* message, const char* file, int line);

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
