#include "AK_Controller.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AK_ClassTable.h"
#include "AK_DocText.h"

AK_Controller::AK_Controller(const char* id, AK_Object* parent) : AK_Class(id, parent)
{
  SetUpClassLevel();
  RunClassDefaults();
}

AK_TerminalController::AK_TerminalController(const char* id, AK_Object* parent)
    : AK_Class(id, parent)
{
  SetUpClassLevel();
  _recording = 0;
  RunClassDefaults();
}

AK_TerminalController::~AK_TerminalController()
{
  // Nobody is left to answer: the message tells that the recording is not whole.
  const AK_String failure = StopRecordingStream();
  if (!failure.IsEmpty()) AK_MESSAGE("ERROR: " + failure);
}

void AK_TerminalController::DeclareAttributes(AK_AttributeTableOf<AK_TerminalController>& t)
{
  using C = AK_TerminalController;
  t.Attribute("Recording", [](C& c) { return AK_String(c._recording); }, &C::SetRecording);
  t.Command("PlayMacro", &C::PlayMacro);
}

AK_String AK_TerminalController::StopRecordingStream()
{
  if (!_recordingStream) return "";
  const AK_String file(_recordingFile);
  if (_recordingStream.Close()) return "";
  return "the recording in the macro file '" + file + "' could not be written whole: " + std::strerror(errno);
}

void AK_TerminalController::SetRecording(const char* value)
{
  _recording = AK_Atoi(value);
  if (!_recording) {
    if (const AK_String failure = StopRecordingStream(); !failure.IsEmpty()) AK_ErrorText = failure;
    return;
  }
  // A recording that is already running goes on into the same file.
  if (_recordingStream) return;
  // Opening a running macro for writing would empty it under the macro that reads it.
  if (AK_Object::IsMacroRunning(MacroFileName())) {
    _recording = 0;
    AK_ErrorText = AK_String("cannot record into the running macro file '") + MacroFileName() + "'";
    return;
  }
  _recordingStream = AK_File(MacroFileName(), "w");
  if (!_recordingStream) {
    _recording = 0;
    AK_ErrorText = AK_String("cannot open the macro file '") + MacroFileName() + "' for recording: " + std::strerror(errno);
    return;
  }
  _recordingFile = MacroFileName();
}

void AK_TerminalController::PlayMacro()
{
  if (_recording) {
    _recording = 0;
    // A recording cut short is no macro to play: what it holds is not what was edited.
    if (const AK_String failure = StopRecordingStream(); !failure.IsEmpty()) {
      AK_ErrorText = failure;
      return;
    }
  }
  ExecMacro("", 0);
}

void AK_TerminalController::Run(int, int, const char* macroFileName, const char*, int offscreen)
{
  SetMacroFileName(macroFileName ? macroFileName : "");
  // The start-up macro frees what each of its lines deletes; the controller learns through a
  // weak reference whether it is still there.
  AK_ObjectRef self(this);
  PlayMacro();
  if (offscreen || !self) return;
  RunConsole();
}

// --- the console menu ---

class AK_ConsoleMenu {
public:
  explicit AK_ConsoleMenu(AK_TerminalController* controller)
      : _controller(controller), _current(controller)
  {
  }

  // Each menu step is one operation: what an edit deletes is freed when the step ends. The
  // menu keeps its place between steps through a weak reference, and goes back to the
  // controller when the object it showed is gone.
  void Run()
  {
    while (_current) {
      bool more;
      {
        AK_OperationScope step;
        more = _stack.empty() ? ObjectMenu() : EntryMenu();
        if (_current && _current->IsDead()) {
          _current = _controller;
          _stack.clear();
        }
        _place = _current;
      }
      if (!more) return;  // the input has ended
      _current = _place.Get();
    }
  }

private:
  static constexpr int kTokenLimit = 127;

  AK_TerminalController* _controller;
  AK_Object* _current;  // within a step
  AK_ObjectRef _place;  // between steps
  std::vector<AK_AttributeNode*> _stack;

  void Line(const AK_String& text)
  {
    std::fputs(text, _controller->_output);
    std::fputc('\n', _controller->_output);
  }

  // The next whitespace-separated token, cut to its first 127 characters; false once the
  // input has ended.
  bool ReadToken(std::string& token)
  {
    std::fflush(_controller->_output);
    token.clear();
    int c;
    do {
      c = std::fgetc(_controller->_input);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c == EOF) return false;
    while (c != EOF && c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      if (static_cast<int>(token.size()) < kTokenLimit) token.push_back(static_cast<char>(c));
      c = std::fgetc(_controller->_input);
    }
    return true;
  }

  static int Number(const std::string& token) { return AK_Atoi(token.c_str()); }

  bool ObjectMenu()
  {
    Line(_current->Id() + ":");
    for (int i = 0; i < _current->ComponentCount(); ++i)
      Line(AK_String(i + 1) + ":" + _current->Component(i)->Id());
    Line("q: quit");
    Line("e: edit");
    Line("?: help");
    std::string token;
    if (!ReadToken(token)) return false;
    switch (token[0]) {
      case '?': AK_MESSAGE(AK_GetClassDocText(_current)); break;
      case 'q': _current = _current->Parent(); break;
      case 'e':
        if (_current->GetClassInfo()) _stack.push_back(_current->GetClassInfo());
        break;
      default: {
        int n = Number(token);
        if (n >= 1 && n <= _current->ComponentCount()) _current = _current->Component(n - 1);
      }
    }
    return true;
  }

  bool EntryMenu()
  {
    AK_AttributeNode* entry = _stack.back();
    Line(_current->GetAbsolutePath());
    AK_AttributeNode* options = AK_NodeFindChild(entry, "options");
    const char* setId = AK_NodeSetId(entry);
    if (options) return ChoiceMenu(entry, options, setId);
    if (setId) return EditEntry(entry, setId);
    return ListEntries(entry);
  }

  bool ChoiceMenu(AK_AttributeNode* entry, AK_AttributeNode* options, const char* setId)
  {
    AK_Array<AK_String> choices;
    _current->Get(AK_NodeValue(options)).Split(AK_SEP, choices);
    for (int i = 0; i < choices.Size(); ++i) Line(AK_String(i + 1) + "..." + choices[i]);
    std::string token;
    if (!ReadToken(token)) return false;
    int n = Number(token);
    _stack.pop_back();
    if (setId && n >= 1 && n <= choices.Size()) Edit(AK_String(setId), choices[n - 1]);
    (void)entry;
    return true;
  }

  bool EditEntry(AK_AttributeNode* entry, const char* setIdText)
  {
    AK_String setId(setIdText);
    AK_String name(AK_NodeName(entry));
    AK_String value;
    if (std::strncmp(name, "bool.", 5) == 0) {
      value = _current->Get(AK_NodeValue(entry)) == "0" ? "1" : "0";
    } else if (std::strncmp(name, "apply.", 6) == 0) {
      value = "";
    } else {
      Line(AK_String("enter value: [") + _current->Get(AK_NodeValue(entry)) + "]");
      std::string token;
      if (!ReadToken(token)) return false;  // an edit cut off by the end of input sets nothing
      value = token.c_str();
    }
    _stack.pop_back();
    if (value[0] == '?') {
      AK_MESSAGE(AK_GetAttributeDocText(entry));
      return true;
    }
    if (std::strchr(value, '|')) {
      AK_Array<AK_String> pieces;
      value.Split('|', pieces);
      value = AK_String(pieces, AK_SEP);
    }
    Edit(setId, value);
    return true;
  }

  // One edit: reported when the report switch is on, performed, its failure reported, and
  // recorded as a set command with the path relative to the controller.
  void Edit(const AK_String& setId, const AK_String& value)
  {
    AK_String command = AK_FormatSetCommand(_current->GetAbsolutePath(_controller), setId, value);
    if (AK_GetReportCommands() == "1") AK_MESSAGE(command);
    AK_ErrorText = "";
    _current->Set(setId, value);
    if (!AK_ErrorText.IsEmpty())
      AK_MESSAGE(AK_String("error when executing command ") + command + ":" + AK_ErrorText);
    if (_controller->IsDead()) return;  // still readable within the step
    if (_controller->_recording && !(setId == "Recording") && _controller->_recordingStream) {
      AK_File& stream = _controller->_recordingStream;
      std::fputs(command, stream);
      std::fputc('\n', stream);
      if (!stream.Flush()) {
        // The edit is done, but the macro no longer records it: the recording stops, and says so.
        const AK_String reason = std::strerror(errno);
        _controller->_recording = 0;
        (void)_controller->StopRecordingStream();  // its failure is the one told here
        AK_MESSAGE(AK_String("ERROR: cannot record command ") + command + " into the macro file '" +
                   _controller->_recordingFile + "', recording stopped: " + reason);
      }
    }
  }

  bool ListEntries(AK_AttributeNode* entry)
  {
    std::vector<AK_AttributeNode*> listed;
    for (int i = 0; i < AK_NodeChildCount(entry); ++i) {
      AK_AttributeNode* child = AK_NodeChild(entry, i);
      AK_String name(AK_NodeName(child));
      AK_String line(name);
      const char* value = AK_NodeValue(child);
      if (*value && !(name == "doc")) {
        AK_String answer = _current->Get(value);
        if (std::strstr(answer, AK_SEP)) {
          AK_Array<AK_String> pieces;
          answer.Split(AK_SEP, pieces);
          answer = AK_String(pieces, "|");
        }
        line += ": ";
        line += answer;
      }
      if (std::strncmp(name, "opr", 3) == 0)
        line += " (opr)";
      else if (std::strncmp(name, "obj", 3) == 0)
        line += " (obj)";
      else if (std::strncmp(name, "doc", 3) == 0 || std::strncmp(name, "german", 6) == 0)
        continue;
      AK_AttributeNode* vis = AK_NodeFindChild(child, "vis");
      if (vis) {
        AK_String visibility = _current->Get(AK_NodeValue(vis));
        if (visibility == "-") continue;
        if (visibility == "r") line += " (r)";
      }
      listed.push_back(child);
      Line(AK_String(static_cast<int>(listed.size())) + ": " + line);
    }
    Line("q: quit");
    std::string token;
    if (!ReadToken(token)) return false;
    if (token[0] == 'q') {
      _stack.pop_back();
      return true;
    }
    int n = Number(token);
    if (n >= 1 && n <= static_cast<int>(listed.size())) _stack.push_back(listed[static_cast<size_t>(n - 1)]);
    return true;
  }
};

void AK_TerminalController::RunConsole()
{
  AK_ConsoleMenu menu(this);
  menu.Run();
  std::fflush(_output);
}
