// Parameter sets: named lists of attribute assignments kept in a class's ".parsets" file,
// for instance a calibrated set of friction parameters. Applying a set gives an object all
// its attributes at once; the object then reports the set as in force until one of the
// set's attributes is changed by hand.
//
// File format (one entry per line, lines trimmed of blanks, TABs, CR and LF first):
//
//   = Two words          opens the set "Two words"
//   Mu = 0.155           an entry: attribute "Mu", value "0.155" (the value may hold "=")
//   Mesh:Scale = 2       an attribute of another object, addressed by path
//   ParameterSet = Base  applies the set "Base" at this point (nested sets)
//   Walls:ParameterSet = Rough   another object receives the set "Rough"
//
// Every other line (empty lines, remarks without "=") is passed over.
#pragma once

#include "AK_Basic.h"

struct AK_ParameterSet {
  AK_String name;
  AK_Array<AK_String> attributes;
  AK_Array<AK_String> values;  // parallel to the attributes
};

// The sets of every class read so far, in reading order; nothing is ever removed. Each class
// appends the sets of its own file the first time one of its objects is constructed.
extern AK_Array<AK_ParameterSet> AK_ParameterSetTable;

// Appends the sets of the class's ".parsets" file (user attributes directory first). A file
// that is missing or cannot be read adds nothing and is not reported.
void AK_LoadParameterSets(const char* className);

// Removes TAB, LF, CR and blanks at both ends of the buffer, in place.
void AK_TrimBlanks(char* buffer);

// "none" and "%AK_SEP%", then every set's name followed by "%AK_SEP%", in table order.
AK_String AK_GetParameterSetOptions();

// The index of the last set of that name (a later set of the same name wins), or -1.
int AK_FindParameterSet(const char* name);
