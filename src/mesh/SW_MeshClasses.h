#pragma once

// Registers the terrain mesh classes with the class registry, after the classes of every
// library below this one.
void SW_RegisterMeshClasses();
