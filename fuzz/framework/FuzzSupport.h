// Set-up shared by the framework's fuzz targets: the shipped class files, silent messages,
// and a small tree with the console controller on top and a project container below it.
#pragma once

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
