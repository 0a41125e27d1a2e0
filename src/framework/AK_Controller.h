// Controllers drive a whole object tree. AK_TerminalController is the top object that the
// program creates: it plays a macro file, returns at once when offscreen, and otherwise lets
// the user browse the tree and edit attributes through a numbered console menu, recording
// each edit as a set command.
#pragma once

#include <cstdio>

#include "AK_Object.h"

class AK_Controller : public AK_Object {
public:
  AK_Controller(const char* id, AK_Object* parent);

  AK_AttributeNode* GetClassInfo() override;
  int AppendDefaultAttribute(const char* attribute, const char* value) override;
  int WriteClassValues() override;
  virtual void Run(int viewWidth, int viewHeight, const char* macroFileName, const char* text,
                   int offscreen) = 0;

  static AK_ClassRecord& ClassRecord();
};

class AK_TerminalController : public AK_Controller {
public:
  AK_TerminalController(const char* id, AK_Object* parent);
  ~AK_TerminalController() override;

  AK_AttributeNode* GetClassInfo() override;
  AK_String Get(const char* name) override;
  int Set(const char* name, const char* value) override;
  int AppendDefaultAttribute(const char* attribute, const char* value) override;
  int WriteClassValues() override;
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

  static AK_ClassRecord& ClassRecord();

private:
  AK_File _recordingStream;  // open on MacroFileName while recording
  int32_t _recording = 0;
  std::FILE* _input = stdin;
  std::FILE* _output = stdout;

  void StopRecordingStream();
  void RunConsole();
  friend class AK_ConsoleMenu;
};
