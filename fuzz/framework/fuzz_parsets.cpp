// Reads any text as a class's parameter-set file, lists the sets, applies each new set to an
// object of a small tree and asks whether it is in force. Texts that would start processes or
// write files are left out of the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (FuzzHasAnyOf(text, {"StartInBackground", "ProjectDir", "Save", "Load", "Recording", "Macro", "macro",
                         "WriteHtml", "WriteEntire", "/dev", "/proc", "/sys"}))
    return 0;
  static std::string directory = FuzzScratchDirectory("torvu_fuzz_parsets") + "/";
  FuzzWriteFile(directory + "Fuzz.parsets", text);
  FuzzTree tree;  // its construction reads the sets of the framework's classes first
  int before = AK_ParameterSetTable.Size();
  AK_String saved(UserAttributesDirectory);
  UserAttributesDirectory = directory.c_str();
  AK_LoadParameterSets("Fuzz");
  UserAttributesDirectory = saved;
  AK_GetParameterSetOptions();
  for (int i = before; i < AK_ParameterSetTable.Size() && i < before + 20; ++i) {
    AK_String name(AK_ParameterSetTable[i].name);
    tree.project->Set("ParameterSet", name);
    tree.project->Get("ParameterSet");
    tree.viewer->Get("Project:ParameterSet");
  }
  // The harness reads one file per input; the program itself never drops sets.
  AK_ParameterSetTable.Resize(before > 0 ? before : 1);
  if (before == 0) AK_ParameterSetTable.Clear();
  return 0;
}
