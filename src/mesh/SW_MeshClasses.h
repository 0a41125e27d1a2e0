#pragma once

// Registers the terrain mesh classes with the class registry.
void SW_RegisterMeshClasses();
