// Controllers drive a whole object tree. AK_TerminalController is the top object that the
// program creates: it plays a macro file, returns at once when offscreen, and otherwise lets
// the user browse the tree and edit attributes through a numbered console menu, recording
// each edit as a set command.
#pragma once

#include <cstdio>

#include "AK_ClassHelper.h"

class AK_Controller : public AK_Class<AK_Controller> {
public:
  static constexpr const char* kClassName = "AK_Controller";
  AK_Controller(const char* id, AK_Object* parent);
  virtual void Run(int viewWidth, int viewHeight, const char* macroFileName, const char* text,
                   int offscreen) = 0;
};

class AK_TerminalController : public AK_Class<AK_TerminalController, AK_Controller> {
public:
  static constexpr const char* kClassName = "AK_TerminalController";
  AK_TerminalController(const char* id, AK_Object* parent);
  ~AK_TerminalController() override;
  static void DeclareAttributes(AK_AttributeTableOf<AK_TerminalController>& t);

  void Run(int viewWidth, int viewHeight, const char* macroFileName, const char* text,
           int offscreen) override;

  void SetRecording(const char* value);
  void PlayMacro();
  int Recording() const { return _recording; }

  // Where the console menu reads and writes (standard input and output by default).
  void SetConsole(std::FILE* input, std::FILE* output)
  {
    _input = input;
    _output = output;
  }

private:
  AK_File _recordingStream;  // open on MacroFileName while recording
  AK_String _recordingFile;  // the name it was opened on
  int32_t _recording = 0;
  std::FILE* _input = stdin;
  std::FILE* _output = stdout;

  // Closes the recording file; "" when it was not open or holds every line recorded, else
  // what failed.
  AK_String StopRecordingStream();
  void RunConsole();
  friend class AK_ConsoleMenu;
};
