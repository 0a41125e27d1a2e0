// The result fields of a simulation, one row each: everything that creates, binds, checks,
// lends, titles, saves, reads, resets or marks them loops over this table, so a new field is
// one more row (and, when code wants it by name, an accessor in SW_Simulation).
//
// The rows stand in the order of the simulation's components (which its project file keeps);
// the time-step files hold the fields' records in the same order. A run starting from time 0
// sets the per-vertex components back to 0.
#pragma once

#include <iterator>
#include <string_view>

#include "SW_Flow.h"

// Where a field's record lies in a time-step file.
enum class SW_TimeStepBlock {
  None,      // not saved: recomputed from the particles
  Main,      // the main block
  Enthalpy,  // the enthalpy block, which older files lack
  ReadOnly,  // read into the field when an old file holds it, never written
};

struct SW_ResultFieldKind {
  const char* id;          // the field's identifier
  bool component;          // a component of the simulation; else held aside, bound by a run
  bool onVertices;         // one value per mesh vertex, else per cell
  int runTouchOrder;       // when a run ends, marked modified in this order (1 first); 0 never
  const char* title;       // the fixed text of its title: identifier, this text, the time
  const char* timeStepTag; // the tag of its record in time-step files (nullptr: none)
  SW_TimeStepBlock block;
  // The model's array of the field: the values of a scalar field, or the vectors of the one
  // vector field.
  AK_Array<float> SW_FlowFields::*values;
  AK_Array<AK_Vec3> SW_FlowFields::*vectors;

  constexpr bool IsVector() const { return vectors != nullptr; }
};

inline constexpr SW_ResultFieldKind SW_ResultFields[] = {
    // id, component, onVertices, runTouchOrder, title, time-step tag, block, model array
    {"FlowDepth", true, true, 1, " flow depth [m] at ", nullptr, SW_TimeStepBlock::None,
     &SW_FlowFields::flowDepth, nullptr},
    {"PeakFlowDepth", true, true, 7, " peak flow depth [m] at ", "peakDepth",
     SW_TimeStepBlock::Main, &SW_FlowFields::peakDepth, nullptr},
    {"Velocity", true, true, 2, " velocity [m/s] at ", nullptr, SW_TimeStepBlock::None,
     nullptr, &SW_FlowFields::velocity},
    {"DynamicPeakPressure", true, true, 3, " dynamic peak pressure [KPa] at ",
     "dynPeakPressure", SW_TimeStepBlock::Main, &SW_FlowFields::peakPressure, nullptr},
    {"PeakForcePerWidth", true, true, 5, " peak force per width [kN/m] at ",
     "peakPressPerWidth", SW_TimeStepBlock::Main, &SW_FlowFields::peakForce, nullptr},
    {"PeakTorquePerWidth", true, true, 6, " peak torque per width [kNm/m] at ",
     "peakTorquePerWidth", SW_TimeStepBlock::Main, &SW_FlowFields::peakTorque, nullptr},
    {"FrontArrivalTime", true, true, 8, " front arrival time [s] at ", "frontArrivalTime",
     SW_TimeStepBlock::Main, &SW_FlowFields::frontArrival, nullptr},
    {"EntrainmentMass", true, false, 9, " entrainment mass [kg/m2] at ", "entrainmentMass",
     SW_TimeStepBlock::Main, &SW_FlowFields::entrainmentMass, nullptr},
    {"EntrainmentEnthalpy", true, false, 0, " entrainment enthalpy [J/kg] at ",
     "entrainmentEnthalpy", SW_TimeStepBlock::Enthalpy, &SW_FlowFields::entrainmentEnthalpy, nullptr},
    {"BottomPressure", false, true, 4, " bottom pressure [Pa] at ", "bottomPressure",
     SW_TimeStepBlock::ReadOnly, &SW_FlowFields::bottomPressure, nullptr},
};
inline constexpr int SW_ResultFieldCount = int(std::size(SW_ResultFields));

// The row of a field by its identifier, at compile time: a name not in the table does not
// compile.
consteval int SW_ResultFieldIndex(std::string_view id)
{
  for (int i = 0; i < SW_ResultFieldCount; ++i)
    if (id == SW_ResultFields[i].id) return i;
  throw "no such result field";
}
// The same for a field of the kind asked for.
consteval int SW_ScalarRow(std::string_view id)
{
  const int row = SW_ResultFieldIndex(id);
  return SW_ResultFields[row].IsVector() ? throw "a vector field" : row;
}
consteval int SW_VectorRow(std::string_view id)
{
  const int row = SW_ResultFieldIndex(id);
  return SW_ResultFields[row].IsVector() ? row : throw "a scalar field";
}

// The row of a time-step tag, -1 for a tag of no result field.
inline int SW_ResultFieldOfTag(std::string_view tag)
{
  for (int i = 0; i < SW_ResultFieldCount; ++i)
    if (SW_ResultFields[i].timeStepTag && tag == SW_ResultFields[i].timeStepTag) return i;
  return -1;
}
