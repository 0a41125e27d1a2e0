// Set-up shared by the framework's fuzz targets: the shipped class files, silent messages,
// and a small tree with the console controller on top and a project container below it.
#pragma once

#include <initializer_list>
#include <string>

#include "AK_Framework.h"

// Once per process: class-file directories, a message hook that prints nothing, and the
// framework classes registered.
void FuzzSetUpOnce();

struct FuzzTree {
  AK_TerminalController* viewer;
  AK_Container* project;
  FuzzTree();
  ~FuzzTree();
};

// True when the input holds any of the words: a target leaves such inputs out, because they
// would start processes, write or delete files outside its scratch directory, or read devices.
bool FuzzHasAnyOf(const std::string& text, std::initializer_list<const char*> words);

// The target's own scratch directory under the system's temporary directory, created when
// missing (no "/" at the end).
std::string FuzzScratchDirectory(const char* name);

// Writes the input to the file as it is (nothing when the file cannot be opened).
void FuzzWriteFile(const std::string& path, const std::string& text);
