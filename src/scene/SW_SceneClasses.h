#pragma once

// Registers the scene classes (lines, areas, fields, particles) with the class registry.
void SW_RegisterSceneClasses();
