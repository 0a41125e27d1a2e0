// The program entry: reads the options, sets the class-file directories, builds the console
// controller "Viewer" with the project "Project" below it, and hands control to the
// controller until it returns. src/programs/torvu.cpp only calls SW_Main.
#pragma once

#include "AK_Basic.h"

struct SW_ProgramOptions {
  int offscreen = 0;  // 1: play the macro and return without the console menu
  AK_String macroFileName;
  AK_String attributesDirectory{"../files/AK_Attributes"};
  bool attributesDirectoryGiven = false;  // "-files" named it
};

// Reads "-offscreen FILE", "-macro FILE" and "-files DIR" (exact, case-sensitive); a value is
// taken as it stands, even when it begins with "-"; a later option replaces an earlier value,
// and the offscreen flag once set stays set. Unknown arguments and an option that stands last
// without its value are passed over without a word.
SW_ProgramOptions SW_ReadProgramOptions(int argc, const char* const* argv);

// The directory text with a separator at its end; an empty text becomes the separator alone.
AK_String SW_WithTrailingSeparator(const char* directory);

// The banner: the program path, the build's date and time and a two-line credit.
AK_String SW_Banner(const char* program);

// The whole run of the program; the process exit code. 0 whenever the controller returned,
// whatever the macro commands did; 1 when the class files are nowhere to be found or the
// macro file cannot be opened (said on standard error), so a batch job sees that nothing ran.
int SW_Main(int argc, char** argv);
