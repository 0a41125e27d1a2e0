#include "AK_FrameworkState.h"

#include <chrono>
#include <string>
#include <vector>

AK_String AK_ErrorText;
AK_LanguageSetting AK_Language{AK_String("default"), 0};

AK_String AttributesDirectory;
AK_String UserAttributesDirectory;
AK_String UserApplicationDirectory;

int AK_ReportCommandsFlag = 0;
int AK_ExplainCommandsFlag = 0;
AK_String AK_PendingExplanation;
AK_InterruptFunction AK_InterruptCallback = nullptr;

int AK_SetLanguage(const char* language)
{
  AK_Language.text = language ? language : "";
  AK_Language.german = AK_Language.text == "german" ? 1 : 0;
  return AK_Language.german;
}

AK_String AK_GetLanguageOptions() { return AK_String("default") + AK_SEP + "german"; }

namespace {

std::vector<std::string>& ProgramArguments()
{
  static std::vector<std::string> arguments;
  return arguments;
}

using Clock = std::chrono::steady_clock;

Clock::time_point ProcessStart()
{
  static const Clock::time_point start = Clock::now();
  return start;
}

// Makes sure the clock starts with the process, not with the first stamp.
const Clock::time_point kStartAtLoad = ProcessStart();

}  // namespace

void AK_SetProgramArguments(int argc, const char* const* argv)
{
  auto& arguments = ProgramArguments();
  arguments.clear();
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv && argv[i] ? argv[i] : "");
}

int AK_ProgramArgumentCount() { return static_cast<int>(ProgramArguments().size()); }

const char* AK_ProgramArgument(int i)
{
  const auto& arguments = ProgramArguments();
  if (i < 0 || i >= static_cast<int>(arguments.size())) return "";
  return arguments[static_cast<size_t>(i)].c_str();
}

static AK_String JoinArguments(const char* separator)
{
  AK_String text;
  for (const auto& argument : ProgramArguments()) {
    text += argument.c_str();
    text += separator;
  }
  return text;
}

AK_String AK_GetArglist() { return JoinArguments(" "); }
AK_String AK_GetArglistSep() { return JoinArguments(AK_SEP); }

int32_t AK_NewStamp()
{
  static int32_t last = 0;
  (void)kStartAtLoad;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ProcessStart());
  int64_t now = static_cast<int64_t>(elapsed.count()) + 1;
  if (now > INT32_MAX) now = INT32_MAX;
  int32_t stamp = static_cast<int32_t>(now);
  if (stamp <= last) stamp = last + 1;
  last = stamp;
  return stamp;
}

AK_String AK_GetReportCommands() { return AK_String(AK_ReportCommandsFlag); }
AK_String AK_GetExplainCommands() { return AK_String(AK_ExplainCommandsFlag); }

int AK_PollInterrupt()
{
  if (!AK_InterruptCallback) return 0;
  int request = AK_InterruptCallback();
  if (request) AK_ErrorText = "interrupted";
  return request;
}

int AK_IsVariableName(const char* name)
{
  if (!name || name[0] != '$' || name[1] == '\0') return 0;
  for (const char* p = name + 1; *p; ++p)
    if (!AK_IsIdentifierChar(*p)) return 0;
  return 1;
}

int AK_IsPlainIdentifier(const char* text)
{
  if (!text || !*text) return 0;
  for (const char* p = text; *p; ++p)
    if (!AK_IsIdentifierChar(*p)) return 0;
  return 1;
}

int AK_StringListContains(const AK_Array<AK_String>& list, const char* text)
{
  return AK_StringListIndex(list, text) >= 0 ? 1 : 0;
}

int AK_StringListIndex(const AK_Array<AK_String>& list, const char* text)
{
  for (int i = 0; i < list.Size(); ++i)
    if (list[i] == text) return i;
  return -1;
}
