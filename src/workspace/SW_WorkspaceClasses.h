#pragma once

// Registers the workspace classes with the class registry, after the classes of every
// library below this one.
void SW_RegisterWorkspaceClasses();

// Registers every class of the program, library by library from the framework up.
void SW_RegisterAllClasses();
