// Macro files: command lines that an object runs on its own behalf, with explanation
// blocks, repetitions and a guard against macros that call themselves.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "AK_Object.h"

namespace {

// Macros running now, one inside the other, innermost last. Each keeps the identity of its
// file from when it started, so the guard against a macro that runs itself compares numbers
// instead of asking the file system about every running macro again.
struct RunningMacro {
  AK_String file;
  AK_FileIdentity identity;

  bool Is(const char* other, const AK_FileIdentity& otherIdentity) const
  {
    if (identity.known && otherIdentity.known) return identity.SameAs(otherIdentity);
    return std::strcmp(file, other) == 0;
  }
};

std::vector<RunningMacro>& MacroStack()
{
  static std::vector<RunningMacro> stack;
  return stack;
}

bool OnMacroStack(const char* file, const AK_FileIdentity& identity)
{
  for (const RunningMacro& running : MacroStack())
    if (running.Is(file, identity)) return true;
  return false;
}

// Macros and script macros started one inside the other. A chain deeper than this is a
// runaway (a script macro that runs itself, or thousands of macros each calling the next)
// and is stopped long before it would exhaust the program's stack. A script macro needs
// several times the stack of a macro (the interpreter's frames), so it counts as several.
constexpr int kNestingLimit = 200;
constexpr int kScriptMacroLevels = 4;
int g_nesting = 0;

class NestingLevel {
public:
  explicit NestingLevel(int levels) : _levels(levels) { g_nesting += _levels; }
  ~NestingLevel() { g_nesting -= _levels; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

private:
  int _levels;
};

class MacroStackEntry {
public:
  MacroStackEntry(const AK_String& file, const AK_FileIdentity& identity)
  {
    MacroStack().push_back({file, identity});
  }
  ~MacroStackEntry() { MacroStack().pop_back(); }
  MacroStackEntry(const MacroStackEntry&) = delete;
  MacroStackEntry& operator=(const MacroStackEntry&) = delete;
};

bool StartsWith(const char* text, const char* prefix)
{
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool IsMacroFile(const AK_String& file)
{
  return !file.IsEmpty() && AK_FileExists(file) && !AK_IsDirectory(file);
}

// The name itself when that file exists, else (for a relative name) the file of that name in
// the attributes directories; `found` tells whether the answer exists.
AK_String LocateMacroFile(const AK_String& name, bool& found)
{
  AK_String file = name;
  if (!IsMacroFile(file) && !file.IsEmpty() && !file.IsAbsolutePath())
    file = AK_ResolveAttributeFile(name, nullptr, nullptr);
  found = IsMacroFile(file);
  return file;
}

// Every line of a saved attribute file is a set command that the program wrote itself, so a
// line that is none is damage, and says where it is. (Empty lines and "#" remarks are fine.)
bool IsMalformedAttributeLine(AK_Object* object, const char* line)
{
  if (!*line || line[0] == '#') return false;
  if (!StartsWith(line, "set(") && !StartsWith(line, "get(")) return true;
  AK_String kind, path, attribute, value;
  return object->ParseCommand(line, kind, path, attribute, value) != 0;
}

// Where the lines of a macro come from: its file, opened again for each pass, or the bytes
// read of it once.
class MacroLines {
public:
  MacroLines(AK_File stream, const AK_String& file) : _file(file), _stream(std::move(stream)) {}
  explicit MacroLines(std::string bytes) : _bytes(std::move(bytes)), _inMemory(true) {}

  // The next line without its line end (a CRLF loses its CR as well); false at the end.
  bool Next(AK_String& line)
  {
    if (!_inMemory) return AK_ReadLine(_stream, line);
    line = "";
    if (_at >= _bytes.size()) return false;
    size_t end = _bytes.find('\n', _at);
    if (end == std::string::npos) end = _bytes.size();
    size_t content = end;
    if (content > _at && _bytes[content - 1] == '\r') --content;
    line = AK_String(_bytes.data() + _at, _bytes.data() + content);
    _at = end + 1;
    return true;
  }
  // Back to the first line for another pass; false when the file cannot be opened again.
  bool Restart()
  {
    _at = 0;
    if (!_inMemory) _stream = AK_File(_file, "r");
    return _inMemory || _stream;
  }

private:
  AK_String _file;
  AK_File _stream;
  std::string _bytes;
  bool _inMemory = false;
  size_t _at = 0;
};

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

AK_String AK_Object::FindMacroFile(const char* name)
{
  bool found = false;
  AK_String file = LocateMacroFile(AK_String(name ? name : ""), found);
  return found ? file : AK_String();
}

bool AK_Object::IsMacroRunning(const char* file)
{
  if (!file || !*file) return false;
  return OnMacroStack(file, AK_FileIdentityOfPath(file));
}

int AK_Object::ExecMacro(const char* fileName, int quiet, AK_String* digest)
{
  if (digest) *digest = "";
  AK_String name(fileName ? fileName : "");
  const AK_String asked = name.IsEmpty() ? _macroFileName : name;
  AK_String extension = asked.GetExtension();
  int levels = extension == "cint" ? kScriptMacroLevels : 1;
  if (g_nesting + levels > kNestingLimit) {
    AK_ErrorText = AK_String("macro '") + asked + "' not run: macros nested deeper than " +
                   AK_String(kNestingLimit) + " levels";
    return 0;
  }
  NestingLevel level(levels);
  bool found = false;
  AK_String file = LocateMacroFile(asked, found);

  if (extension == "cint") {
    if (found)
      RunScriptFile(file);
    else
      AK_ErrorText = AK_String("can neither open macro file '") + name + "' nor '" + file + "'";
    return 0;
  }
  if (extension == "py") {
    AK_ErrorText = found ? AK_String("Python macros not supported")
                         : AK_String("can neither open python file '") + name + "' nor '" + file + "'";
    return 0;
  }

  AK_File stream = found ? AK_File(file, "r") : AK_File();
  if (!stream) {
    AK_ErrorText = AK_String("cannot open macro file '") + file + "'";
    return 0;
  }
  AK_FileIdentity identity = AK_FileIdentityOfStream(stream);
  if (OnMacroStack(file, identity)) {
    AK_ErrorText = "recursive macro call ignored";
    return 0;
  }

  // A load takes the digest of exactly the bytes it runs: read once, the file can be
  // replaced by another save meanwhile.
  std::string bytes;
  if (digest && !AK_ReadRest(stream, bytes)) {
    AK_ErrorText = AK_String("cannot read macro file '") + file + "'";
    return 0;
  }
  if (digest) *digest = AK_ContentDigest(bytes.data(), bytes.size());
  MacroLines lines = digest ? MacroLines(std::move(bytes)) : MacroLines(std::move(stream), file);

  MacroStackEntry entry(file, identity);
  AK_PendingExplanation = "";
  int remaining = _macroRepetitions;
  // Each line is an operation of its own, so what it deletes is freed when it ends; the
  // macro learns through a weak reference whether it still has an object to run on.
  AK_ObjectRef self(this);
  bool alive = true;
  int damagedLines = 0;
  AK_String line;
  for (bool open = true; open && remaining != 0; open = lines.Restart()) {
    if (remaining > 0) --remaining;  // a negative count stays negative: until a command fails
    Explanation explanation;
    bool ranCommand = false;
    for (int lineNumber = 1; lines.Next(line); ++lineNumber) {
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
      // Quiet runs are loads of saved attribute files.
      if (quiet && IsMalformedAttributeLine(this, text)) {
        AK_MESSAGE(AK_String("ERROR:malformed line ") + AK_String(lineNumber) + " of '" + file +
                   "' ignored: " + text);
        ++damagedLines;
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
      // A load goes on after a refused line, so one bad value costs that value only; the
      // caller learns from the count that the object did not load whole.
      if (quiet && alive && !AK_ErrorText.IsEmpty() && AK_ErrorText != "interrupted") {
        AK_MESSAGE(AK_String("ERROR:line ") + AK_String(lineNumber) + " of '" + file +
                   "' refused: " + AK_ErrorText + ": " + text);
        AK_ErrorText = "";
        ++damagedLines;
        continue;
      }
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
  }
  return damagedLines;
}
