// Macro files: command lines that an object runs on its own behalf, with explanation
// blocks, repetitions and a guard against macros that call themselves.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "AK_Object.h"

namespace {

constexpr int kLineLimit = 40960;  // a line this long or longer ends the pass

AK_Array<AK_String>& MacroStack()
{
  static AK_Array<AK_String> stack;
  return stack;
}

bool StartsWith(const char* text, const char* prefix)
{
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// True when both names lead to one file, however they are spelt.
bool SameFile(const char* a, const char* b)
{
  if (std::strcmp(a, b) == 0) return true;
  std::error_code error;
  bool same = std::filesystem::equivalent(std::filesystem::path(AK_NormalizePath(a).c_str()),
                                          std::filesystem::path(AK_NormalizePath(b).c_str()), error);
  return !error && same;
}

bool OnMacroStack(const char* file)
{
  for (const AK_String& running : MacroStack())
    if (SameFile(running, file)) return true;
  return false;
}

std::FILE* OpenMacroFile(const AK_String& file)
{
  if (file.IsEmpty() || AK_IsDirectory(file)) return nullptr;
  return AK_FileOpen(file, "r");
}

// Reads one line without its line end (and without one CR before it); `tooLong` reports a
// line of kLineLimit characters or more, which is not read further.
bool ReadMacroLine(std::FILE* file, std::string& line, bool& tooLong)
{
  line.clear();
  tooLong = false;
  int c;
  bool any = false;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (static_cast<int>(line.size()) >= kLineLimit - 1) {
      tooLong = true;
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// The state of the explanation block a pass is in.
struct Explanation {
  bool inBlock = false;
  bool collecting = false;
  bool otherLanguage = false;  // the block's text is in another language from here on

  void Open()
  {
    inBlock = true;
    collecting = true;
    otherLanguage = false;
    AK_PendingExplanation = "/*\n";
  }
  void Close()
  {
    AK_PendingExplanation += "\n*/";
    inBlock = false;
    collecting = false;
    otherLanguage = false;
  }
  void Language(const char* line)
  {
    if (otherLanguage) return;
    if (std::strstr(line, AK_Language.text)) {
      AK_PendingExplanation = "/*\n";
      collecting = true;
    } else {
      collecting = false;
      otherLanguage = true;
    }
  }
  void Text(const char* line)
  {
    if (!collecting) return;
    AK_PendingExplanation += line;
    AK_PendingExplanation += "\n";
  }
};

}  // namespace

void AK_Object::ExecMacro(const char* fileName, int quiet)
{
  AK_String name(fileName ? fileName : "");
  AK_String file = name.IsEmpty() ? _macroFileName : name;
  AK_String extension = file.GetExtension();
  const AK_String& asked = name.IsEmpty() ? _macroFileName : name;

  if (extension == "cint" || extension == "py") {
    if (!AK_FileExists(file) && !file.IsAbsolutePath())
      file = AK_ResolveAttributeFile(asked, nullptr, nullptr);
    bool exists = AK_FileExists(file) != 0;
    if (extension == "cint") {
      if (exists)
        RunScriptFile(file);
      else
        AK_ErrorText = AK_String("can neither open macro file '") + name + "' nor '" + file + "'";
    } else {
      AK_ErrorText = exists ? AK_String("Python macros not supported")
                            : AK_String("can neither open python file '") + name + "' nor '" +
                                  file + "'";
    }
    return;
  }

  // No name at all (the program started without a macro) names no file, and a directory
  // is never a macro.
  std::FILE* stream = OpenMacroFile(file);
  if (!stream && !file.IsAbsolutePath() && !file.IsEmpty()) {
    file = AK_ResolveAttributeFile(file, nullptr, nullptr);
    stream = OpenMacroFile(file);
  }
  if (stream && OnMacroStack(file)) {
    std::fclose(stream);
    AK_ErrorText = "recursive macro call ignored";
    return;
  }
  if (!stream) {
    AK_ErrorText = AK_String("cannot open macro file '") + file + "'";
    return;
  }

  MacroStack().Append(file);
  AK_PendingExplanation = "";
  int remaining = _macroRepetitions;
  // Each line is an operation of its own, so what it deletes is freed when it ends; the
  // macro learns through a weak reference whether it still has an object to run on.
  AK_ObjectRef self(this);
  bool alive = true;
  std::string line;
  while (stream && remaining != 0) {
    if (remaining > 0) --remaining;  // a negative count stays negative: until a command fails
    Explanation explanation;
    bool tooLong = false;
    bool ranCommand = false;
    while (ReadMacroLine(stream, line, tooLong) && !tooLong) {
      const char* text = line.c_str();
      if (StartsWith(text, "//fi")) continue;
      if (StartsWith(text, "/*")) {
        explanation.Open();
        continue;
      }
      if (StartsWith(text, "*/")) {
        explanation.Close();
        continue;
      }
      if (explanation.inBlock) {
        if (StartsWith(text, "%lang"))
          explanation.Language(text);
        else
          explanation.Text(text);
        continue;
      }
      if (!StartsWith(text, "set(") && !StartsWith(text, "get(")) continue;
      // An interrupt request ends the whole macro, not only this pass ("interrupted" is its
      // error): with a negative count, ending the pass alone would repeat it without end.
      if (AK_PollInterrupt()) break;
      ExecuteCommand(text, quiet);
      ranCommand = true;
      // A command may delete the object that runs the macro; nothing more runs on it then.
      alive = self.Get() != nullptr;
      if (!AK_ErrorText.IsEmpty()) {
        AK_MESSAGE(AK_String("error '") + AK_ErrorText + "' when executing macro command '" +
                   text + "'!");
        break;
      }
      if (!alive) break;
    }
    if (!AK_ErrorText.IsEmpty() || remaining == 0 || !alive) break;
    // A pass that ran no command changed nothing, so the next one would do the same; with a
    // negative count (until a command fails) it would go on for ever.
    if (!ranCommand) break;
    std::fclose(stream);
    stream = OpenMacroFile(file);
  }
  if (stream) std::fclose(stream);
  if (MacroStack().Size() > 0) MacroStack().Remove(MacroStack().Size() - 1);
}
