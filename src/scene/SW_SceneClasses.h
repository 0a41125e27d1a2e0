#pragma once

// Registers the scene classes (lines, areas, fields, particles) with the class registry, after the classes of every
// library below this one.
void SW_RegisterSceneClasses();
