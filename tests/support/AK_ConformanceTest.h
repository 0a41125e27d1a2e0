// The conformance test every class runs against its shipped class table.
//
//   TEST(MyClasses, Conformance) { AK_RunConformanceTest("SW_Foo"); }
//
// The class must be registered (AK_RegisterClass) and its table must be found in the
// attributes directories. The test constructs the class (below `parent` when one is given;
// the object is deleted again at the end) and checks, as GoogleTest failures:
// - the table file follows the class-file rules (first line "obj." + type name, LF line ends,
//   TAB indentation one level at a time, a "doc" for every entry, kinds on entries);
// - the object's type name is the one the class was registered with;
// - every attribute that the class's attribute table (and its bases') declares readable
//   answers, an access mode with "w", "r" or "-"; every attribute whose Set refuses values
//   refuses no number, no finite number, a number out of its range, the wrong count of
//   numbers, an unknown option or object: an error text, the answer and stamp unchanged;
// - every get identifier of the table (its own and its bases') answers something other
//   than "%AK_NULL%", and so do the attributes named by "vis" and "options" keys;
// - every set identifier of an editable attribute is handled (set to its current value;
//   a saved "bool." switch is turned over instead);
// - the saved attributes written as set commands and replayed on a fresh object of the
//   class give the same answers.
#pragma once

class AK_Object;

void AK_RunConformanceTest(const char* className, AK_Object* parent = nullptr);

// Only the file rules, for a table file of any class (path to the ".atr" file).
void AK_CheckClassFileFormat(const char* path);
