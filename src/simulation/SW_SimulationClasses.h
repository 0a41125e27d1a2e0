#pragma once

// Registers the simulation classes with the class registry, after the classes of every
// library below this one.
void SW_RegisterSimulationClasses();
