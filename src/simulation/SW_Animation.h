// The animation of time steps: which list positions an animation shows, and the
// assignment of key views to times that the view-following animation interpolates between.
//
// The assignment is kept as the simulation's "$assigned_views": entries of a time ("%g"), a
// blank and a view name, each ended by ",". Times match when they differ by less than
// 1e-10. The simulation's animation commands are built on these functions.
#pragma once

#include <cstdint>
#include <vector>

#include "AK_Basic.h"

// The list positions of an animation over `count` time steps with position `current` loaded:
// from current + 1 rounded up to a multiple of the increment (position 0 when that is not
// below the count), then every `increment` positions while below the count. An increment
// below 1 is replaced by 1 (and so stored).
std::vector<int32_t> SW_AnimationFrames(int32_t count, int32_t current, int32_t& increment);

struct SW_AssignedViews {
  AK_Array<double> times;  // ascending when kept by SW_AssignView
  AK_Array<AK_String> views;
};

// Splits at "," and reads each piece as a time and a name; a piece without both, or with a
// time that is no finite number, is skipped.
SW_AssignedViews SW_ReadAssignedViews(const char* text);
// The entries, each "%g", a blank, the name and ",".
AK_String SW_WriteAssignedViews(const SW_AssignedViews& assigned);

// Gives the entry at `time` the name, or inserts (time, name) before the first later entry.
void SW_AssignView(SW_AssignedViews& assigned, double time, const char* name);
// Removes every entry at `time`.
void SW_RemoveViewsAt(SW_AssignedViews& assigned, double time);
// The first entry at `time`, -1 when none.
int32_t SW_ViewIndexAt(const SW_AssignedViews& assigned, double time);

// The two key views (entry indices) that bracket `time` and the fraction between them; the
// assignment must not be empty. Before the first entry: the first twice with fraction 0;
// after the last: the last twice with fraction 1.
void SW_KeyViewsAt(const SW_AssignedViews& assigned, double time, int32_t& first,
                   int32_t& second, double& fraction);

// The name of the view stored for the simulation at a time: its identifier, "_" and the time
// ("%g"), every character that is no letter, digit or "_" replaced by "_".
AK_String SW_CurrentViewName(const char* simulationId, double time);
