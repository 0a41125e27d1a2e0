#pragma once

// Registers the simulation classes with the class registry.
void SW_RegisterSimulationClasses();
