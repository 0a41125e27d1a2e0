// Process-wide state that every object and every command shares: the error text of the
// last operation, the language, the program's arguments, the class-file directories,
// modification stamps, the report and explanation switches and the interrupt poll.
#pragma once

#include <cstdint>

#include "AK_Basic.h"

// Error text of the last operation. Handlers clear it when they take a name; a failing
// operation stores its message here; a command has failed when it is not empty afterwards.
extern AK_String AK_ErrorText;

// The language text ("default" or "german") and its flag (1 while "german").
struct AK_LanguageSetting {
  AK_String text;
  int german = 0;
};
extern AK_LanguageSetting AK_Language;

// Stores the language text; returns the flag (1 for "german").
int AK_SetLanguage(const char* language);
// "default" + "%AK_SEP%" + "german".
AK_String AK_GetLanguageOptions();
// Picks the English or the German twin of a text.
inline const char* AK_Text(const char* english, const char* german)
{
  return AK_Language.german ? german : english;
}

// The list separator inside attribute values, and the answer for a name nobody knows.
constexpr const char* AK_SEP = "%AK_SEP%";
constexpr const char* AK_NULL = "%AK_NULL%";

// Class-file directories. The attributes directory ends with the separator once the
// program entry has set it; the user attributes directory is searched first.
extern AK_String AttributesDirectory;
extern AK_String UserAttributesDirectory;
extern AK_String UserApplicationDirectory;

// The program's argument store, filled by the program entry before any object exists.
void AK_SetProgramArguments(int argc, const char* const* argv);
int AK_ProgramArgumentCount();
const char* AK_ProgramArgument(int i);  // "" outside 0 .. count-1
// Every argument followed by one blank; every argument followed by "%AK_SEP%".
AK_String AK_GetArglist();
AK_String AK_GetArglistSep();

// Modification stamps: milliseconds since the process started, made strictly increasing,
// so two changes within one millisecond still compare as later than a save or load.
// 0 means "never"; every stamp handed out is at least 1.
int32_t AK_NewStamp();

// Report switch (echo every command) and explanation switch (explain every set command).
extern int AK_ReportCommandsFlag;
extern int AK_ExplainCommandsFlag;
AK_String AK_GetReportCommands();
AK_String AK_GetExplainCommands();

// Explanation collected from a running macro for the next explained command.
extern AK_String AK_PendingExplanation;

// Interrupt poll: an embedding host may install a callback; nonzero asks to stop.
using AK_InterruptFunction = int (*)();
extern AK_InterruptFunction AK_InterruptCallback;
// 0 without callback; otherwise the callback's answer, and "interrupted" in the error
// text when it asks to stop.
int AK_PollInterrupt();

// 1 when the text is "$" followed by at least one letter, digit or "_" and nothing else.
int AK_IsVariableName(const char* name);

// 1 when the text is not empty and holds only letters, digits and "_" (what an Id is made of).
int AK_IsPlainIdentifier(const char* text);

// String-list lookups.
int AK_StringListContains(const AK_Array<AK_String>& list, const char* text);
int AK_StringListIndex(const AK_Array<AK_String>& list, const char* text);
