#pragma once

// Registers the visible-object classes with the class registry, after the classes of every
// library below this one.
void AK_RegisterVisualClasses();
