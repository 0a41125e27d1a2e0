// Starting the program once more as a detached process, for instance to run a simulation in
// the background while this one goes on.
#include "AK_Object.h"

namespace {

// The attributes directory as the other process must name it: it need not start where this
// one did.
AK_String AbsoluteDirectory(const AK_String& directory)
{
  if (directory.IsEmpty() || directory.IsAbsolutePath()) return directory;
  return AK_JoinPath(AK_CurrentDirectory(), directory);
}

}  // namespace

void AK_Object::StartInBackground(const char* arguments)
{
  AK_String text(arguments ? arguments : "");
  AK_String program = AK_ProgramPath();
  if (program.IsEmpty()) program = AK_ProgramArgument(0);
  AK_MESSAGE(AK_String("starting ") + program + " " + text + " in background...");

  // The other process reads the class files this one reads; a "-files" among the arguments
  // comes later and so still wins. The text is split into words here and each is handed over
  // as it is, so nothing in it ever reaches a shell as a command.
  AK_Array<AK_String> words;
  if (!AttributesDirectory.IsEmpty()) {
    words.Append(AK_String("-files"));
    words.Append(AbsoluteDirectory(AttributesDirectory));
  }
  words.AppendAll(AK_SplitArguments(text));

  AK_BatchFileName = AK_JoinPath(UserApplicationDirectory, "start") + ".bat";
  if (AK_RunProgram(program, words, 1) == -1)
    AK_ErrorText = AK_String("cannot start ") + program + " " + text;
  AK_BatchFileName = "";
}
