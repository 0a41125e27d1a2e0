// The simulation object driving the flow model: its parameters and user law in the model's
// form, and its result fields filled from its particles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "AK_Framework.h"
#include "SW_Flow.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SW_Simulation.h"
#include "SimulationTestProject.h"

TEST(FlowSimulation, ParametersUserLawAndFieldUpdate)
{
  SimulationProject project(4, 4, 2, [](double, double) { return 0.0; });
  SW_Simulation* s = project.Add("avalanche", true);
  s->SetVariable("$compat", "v2017");
  s->Set("SphMode", "-2");

  SW_FlowParameters par;
  SW_FillFlowParameters(*s, par);
  EXPECT_EQ(par.frictionLaw, SW_FrictionClassic);
  EXPECT_EQ(par.averagedSpeed, 1);
  EXPECT_EQ(par.sphMode, -2);
  EXPECT_DOUBLE_EQ(SW_KernelRadius(par), 1);  // resolution 2 over 2
  SW_FrictionArgs a;
  a.u = 2;
  a.h = 4;
  EXPECT_DOUBLE_EQ(par.userLaw.tau(par.userLaw.context, a), 0.5);  // default "return v / h * 1.0;"

  // 1000 kg on an interior vertex of area 4 m² at density 200: depth 1.25 m.
  ASSERT_EQ(s->Particles()->Add(AK_Vec3(4, 4, 0), 1000, AK_Vec3(1, 0, 0), 0, 0, -1), 1);
  s->UpdateFields(3);
  float deepest = 0;
  for (float d : s->FlowDepth()->_values) deepest = std::max(deepest, d);
  EXPECT_FLOAT_EQ(deepest, 1.25f);
  EXPECT_EQ(s->Particles()->Count(), 1);  // the arrays went back to the particle set
}

// A result field the user deleted is an unbound array to the step: an error text, no step.
TEST(FlowSimulation, DeletedResultFieldRefusesTheStep)
{
  SimulationProject project(4, 4, 2, [](double, double) { return 0.0; });
  SW_Simulation* s = project.Add("avalanche", true);
  ASSERT_EQ(s->Particles()->Add(AK_Vec3(4, 4, 0), 1000, AK_Vec3(1, 0, 0), 0, 0, -1), 1);
  s->BottomPressure().SetMesh(s->Mesh());
  ASSERT_EQ(s->DeleteComponent("PeakFlowDepth"), 1);
  ASSERT_EQ(s->PeakFlowDepth(), nullptr);
  SW_FlowRun run(s->Mesh()->Core());
  SW_SwapFlowState(*s, run);
  AK_String error;
  EXPECT_EQ(SW_ComputeTimeStep(run, 0, 0.1, error), 1);
  SW_SwapFlowState(*s, run);
  EXPECT_NE(std::strstr(error.c_str(), "PeakFlowDepth"), nullptr) << error.c_str();
  EXPECT_EQ(s->Particles()->Count(), 1);
}

// A tiny erosion energy on a global entrainment layer: the particles would take many times
// a cell's snow per step, but the avalanche never holds more than the release and the whole
// layer, and the run ends as any run does.
TEST(FlowSimulation, EntrainmentFromAGlobalLayerStaysWithinTheSnowThatLies)
{
  RunProject p;
  for (auto [name, value] : {std::pair{"GlobalEntrainmentAreaWeight", "60"}, {"GlobalEntrainmentMinZ", "-1000"},
                             {"GlobalEntrainmentTemperature", "-6"}, {"EntrainmentShearResistance", "10"},
                             {"EntrainmentDeformationResistance", "100"}, {"EntrainmentErosionEnergy", "1"}})
    p.sim->Set(name, value);
  MessageCapture messages;
  AK_ErrorText = "";
  p.sim->Set("Run", "");
  EXPECT_STREQ(AK_ErrorText, "");
  const std::vector<std::string> totals = messages.WithPrefix("\ttotal DFA mass: ");
  ASSERT_EQ(totals.size(), 30u);
  double largest = 0;
  for (const std::string& m : totals) largest = std::max(largest, std::atof(m.c_str() + 16));
  const double release = 30 * 40 * 2 * p.sim->Density / std::cos(35 * M_PI / 180);  // at most
  const double layer = 60 * 200 * 100 / std::cos(35 * M_PI / 180);
  EXPECT_GT(largest, 1.02 * std::atof(totals.front().c_str() + 16));  // it did entrain
  EXPECT_LE(largest, release + layer);
  EXPECT_STREQ(SW_QueryAnswer(SW_ReadStatusFile(p.run.c_str()), "unknown"), "finished");
  EXPECT_FALSE(AK_FileExists((p.run + "/.simulation_lock").c_str()));
}
