#pragma once

// Registers the classes of the visible-object library with the class registry.
void AK_RegisterVisualClasses();
