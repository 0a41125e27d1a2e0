#pragma once

// Registers the workspace classes with the class registry.
void SW_RegisterWorkspaceClasses();

// Registers every class of the program, library by library from the framework up.
void SW_RegisterAllClasses();
