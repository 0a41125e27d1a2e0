// The simulation object: its parameters, friction models, rheology files and saved state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cmath>
#include <string>

#include "AK_ConformanceTest.h"
#include "AK_Framework.h"
#include "SW_Particles.h"
#include "SW_ScalarField.h"
#include "SW_Simulation.h"
#include "SW_VectorField.h"
#include "SimulationTestProject.h"
#include "TestSupport.h"

namespace {

const std::string kSep = "%AK_SEP%";
const char* const kClassic = SW_Simulation::kClassicFriction;

}  // namespace

TEST(Simulation, Conformance)
{
  SimulationProject project(3, 2, 10, [](double x, double) { return -x; });
  AK_RunConformanceTest("SW_Simulation", project.simulations);
}

TEST(Simulation, DefaultsAndChildren)
{
  SimulationProject project(3, 2, 10, [](double x, double) { return -x; });
  SW_Simulation* s = project.Add("avalanche");
  const std::pair<const char*, const char*> defaults[] = {
      {"FrictionType", kClassic},     {"InternalFrictionAngle", "35"},
      {"DynamicFrictionCoefficient", "0.022"}, {"NumParticles", "20000"},
      {"NumParticlesPerCell", "5"},   {"CleanupBehavior", "keep all time steps"},
      {"BottomShearStressFormula", "return v / h * 1.0;"}, {"ReleaseDHM", "none"},
      {"PsaMeshVis", "-"},            {"Mesh", ""},
      {"GetMeshNamesList", "../../DHMs/simulation_mesh%AK_SEP%"}};
  for (auto [name, value] : defaults) EXPECT_STREQ(s->Get(name), value) << name;
  std::string ids;
  for (const char* id : {"ReleaseAreas", "EntrainmentAreas", "SecondaryReleaseAreas",
                         "ResistanceAreas", "WallLines", "SourceLines", "FlowDepth",
                         "PeakFlowDepth", "Velocity", "DynamicPeakPressure", "PeakForcePerWidth",
                         "PeakTorquePerWidth", "FrontArrivalTime", "EntrainmentMass",
                         "EntrainmentEnthalpy", "Particles"})
    ids += id + kSep;
  EXPECT_EQ(std::string(s->GetComponentIdList()), ids);
  const char* types[] = {"ReleaseArea", "ReleaseArea", "ReleaseArea",
                         "ResistanceArea", "WallLine", "SourceLine"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_STREQ(s->Component(i)->Get("SelectedObjectType"), types[i]);
    EXPECT_STREQ(s->Component(i)->Get("SingleType"), "1");
  }
  for (int i = 6; i < 16; ++i) EXPECT_EQ(s->Component(i)->IsActive(), 0) << i;
  EXPECT_STREQ(s->Get("EntrainmentEnthalpy:MinDisplayedValue"), "-100000000");
  EXPECT_EQ(s->FlowDepth()->_values.Size(), 0);

  // Binding: one value per vertex (4 x 3) or per cell (3 x 2).
  s->Set("Mesh", "../../DHMs/simulation_mesh");
  for (SW_ScalarField* f : {s->FlowDepth(), s->PeakFlowDepth(), s->DynamicPeakPressure(),
                            s->PeakForcePerWidth(), s->PeakTorquePerWidth(),
                            s->FrontArrivalTime(), &s->BottomPressure()})
    EXPECT_EQ(f->_values.Size(), f == &s->BottomPressure() ? 0 : 12) << f->Id().c_str();
  EXPECT_EQ(s->Velocity()->_vectors.Size(), 12);
  EXPECT_EQ(s->EntrainmentMass()->_values.Size(), 6);
  EXPECT_EQ(s->EntrainmentEnthalpy()->_values.Size(), 6);
  EXPECT_EQ(s->Particles()->_mesh, project.mesh);
}

TEST(Simulation, OptionListsAndTheirSeparators)
{
  SW_Simulation s("alone", nullptr);  // outside a project: no object lists
  const std::pair<const char*, std::string> lists[] = {
      {"MassPerParticleDeterminationMethods",
       "direct" + kSep + "particles per cell" + kSep + "number of particles" + kSep +
           "delta-depth per particle"},
      {"CleanupBehaviorOptions", "keep all time steps" + kSep + "keep last time step" + kSep +
                                     "remove all time steps" + kSep + "delete entirely" + kSep},
      {"InteractionTypeWithFluidAboveOptions", "none" + kSep + "particles suspension" + kSep},
      {"DeleteTimestepsOptions", "except last" + kSep + "all" + kSep},
      {"FrictionTypeOptions", "Chezy" + kSep + "Chezy + Mohr-Coulomb" + kSep + kClassic + kSep +
                                  "torvuAT" + kSep + "Nassschnee" + kSep + "voellmy" + kSep},
      {"ReleaseDHM_Options", "none" + kSep},
      {"GetMeshNamesList", ""},
      {"GetPsaMeshNamesList", ""}};
  for (const auto& [name, value] : lists) EXPECT_EQ(std::string(s.Get(name)), value) << name;
}

TEST(Simulation, VisibilityByFrictionTypeAndMethod)
{
  SW_Simulation s("vis", nullptr);
  struct Row {
    const char* frictionType;
    const char* angles;
    const char* dynamic;
    const char* earth;
    const char* parameters;
  };
  const Row rows[] = {{"Chezy", "-", "w", "-", "-"},
                      {"Chezy + Mohr-Coulomb", "w", "w", "r", "-"},
                      {kClassic, "w", "w", "r", "-"},
                      {"torvuAT", "-", "-", "-", "-"},
                      {"Nassschnee", "w", "w", "-", "-"},
                      {"voellmy", "-", "-", "-", "w"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.frictionType);
    s.Set("FrictionType", r.frictionType);
    EXPECT_STREQ(s.Get("FrictionAngleVisibility"), r.angles);
    EXPECT_STREQ(s.Get("DynamicFrictionCoefficientVis"), r.dynamic);
    EXPECT_STREQ(s.Get("EarthPressureCoefficientsVis"), r.earth);
    EXPECT_STREQ(s.Get("FormulaParametersVis"), r.parameters);
  }
  const char* methods[] = {"direct", "particles per cell", "number of particles",
                           "delta-depth per particle"};
  const char* visibilities[] = {"MassPerParticleVisibility", "NumParticlesPerCellVisibility",
                                "NumParticlesVisibility", "DeltaDepthPerParticleVisibility"};
  for (int m = 0; m < 4; ++m) {
    s.Set("MassPerParticleDeterminationMethod", methods[m]);
    for (int v = 0; v < 4; ++v)
      EXPECT_STREQ(s.Get(visibilities[v]), m == v ? "w" : "r") << methods[m];
  }
}

// Expected values from the formulas by hand (k_x = 2(1 -+ s)/cos^2(phi) - 1 and the roots
// across the flow), rounded to 32 bits.
TEST(Simulation, EarthPressureCoefficients)
{
  SW_Simulation s("earth", nullptr);
  EXPECT_STREQ(s.Get("EarthPressureCoefficients"),
               "k_x_act:0.420915, k_x_pas:3.54025, k_y_act_x_act:0.302956, "
               "k_y_act_x_pas:1.11796, k_y_pas_x_act:0.968034, k_y_pas_x_pas:3.57221");
  // The bed angle above the internal one: the read raises the internal angle, and with both
  // equal s is 0, so both k_x are 2 / cos^2(16 deg) - 1.
  s.Set("InternalFrictionAngle", "10");
  MessageCapture messages;
  EXPECT_STREQ(s.Get("EarthPressureCoefficients"),
               "k_x_act:1.16445, k_x_pas:1.16445, k_y_act_x_act:0.783922, "
               "k_y_act_x_pas:1.38052, k_y_pas_x_act:0.783922, k_y_pas_x_pas:1.38052");
  EXPECT_TRUE(messages.Contains(
      "WARNING: internal friction angle cannot be smaller than bed friction angle!"));
  EXPECT_STREQ(s.Get("InternalFrictionAngle"), "16");
  s.Set("FrictionType", "Chezy");
  s.Set("InternalFrictionAngle", "10");
  s.CheckFrictionParameters();
  EXPECT_STREQ(s.Get("InternalFrictionAngle"), "10");
}

TEST(Simulation, RheologyFile)
{
  SW_Simulation s("rheology", nullptr);
  MessageCapture messages;
  s.Set("FrictionType", "voellmy");
  EXPECT_TRUE(messages.HasPrefix("syntax OK, using "));
  EXPECT_STREQ(s.Get("BottomShearStressFormulaFile"), "voellmy");
  EXPECT_STREQ(s.Get("FormulaParameters"), "0.2 2000");
  s.Set("FormulaParameters", "0.3 1500");
  EXPECT_STREQ(s.Get("FormulaParameters"), "0.3 1500");
  double x[3] = {1, 2, 3}, n[3] = {0, 0, 1};
  EXPECT_DOUBLE_EQ(s.Tau(1000, 10, 1, 200, 0, x, n, 0), 0.3 * 1000 + 200 * 9.81 * 100 / 1500);
  EXPECT_FALSE(s.HasShear());  // a rheology model replaces the shear formula

  s.Set("FrictionType", "Chezy");
  EXPECT_STREQ(s.Get("FormulaParametersVis"), "-");
  EXPECT_STREQ(s.Get("FormulaParameters"), "");
  messages.Clear();
  s.Set("FrictionType", "no such model");
  EXPECT_TRUE(messages.HasPrefix("WARNING: friction type 'no such model'"));
  EXPECT_FALSE(s.HasTau());

  // Broken files, loaded by path (with both separators): nothing of them stays active.
  ScratchDir dir;
  struct Case {
    const char* file;
    const char* source;
    const char* message;
    const char* parameters;
  };
  const Case cases[] = {
      {"broken.cint", "double tau(double p { return 0; }", "ERROR: syntax errors in ", ""},
      {"notau.cint", "void get_par(char t[512]) { }", "ERROR: function tau missing in ", ""},
      // A get_par that leaves its buffer alone gives an empty text.
      {"quiet.cint",
       "double tau(double p, double u, double h, double r, double t, double x[3], double n[3],"
       " double e) { return 0; }\nvoid get_par(char t[512]) { }\nvoid set_par(char t[]) { }",
       "syntax OK, using ", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string path = dir.Write(std::string("sub/") + c.file, c.source);
    path.replace(path.rfind('/'), 1, "\\");
    messages.Clear();
    s.Set("BottomShearStressFormulaFile", path.c_str());
    EXPECT_TRUE(messages.HasPrefix(c.message + path));
    EXPECT_STREQ(s.Get("FormulaParameters"), c.parameters);
  }
  EXPECT_STREQ(s.Get("BottomShearStressFormulaFile"), "quiet");
}

// "FrictionType" reads back, and is saved, as it was set: a relative path stays relative, and
// a file loaded by "BottomShearStressFormulaFile" changes it in no case. A model named by
// its path comes back with its parameters when the saved attributes are replayed into a new
// simulation; once the file is gone, the replay goes on with warnings naming the file, and
// the law refuses its run; "" clears the law.
TEST(Simulation, RheologyFileFromElsewhereSurvivesReload)
{
  ScratchCurrentDir dir;
  const std::string path = dir.Write("laws/mine.cint",
      "double a = 1;\ndouble tau(double p, double u, double h, double r, double t, double x[3],"
      " double n[3], double e) { return a * p; }\n"
      "void get_par(char t[512]) { sprintf(t, \"%g\", a); }\nvoid set_par(char t[]) { a = atof(t); }\n");
  for (const char* type : {"mine", "visco", "laws/mine.cint"}) {
    SW_Simulation named("named", nullptr);
    named.Set("FrictionType", type);
    named.Set("BottomShearStressFormulaFile", path.c_str());
    EXPECT_STREQ(named.Get("FrictionType"), type);
    EXPECT_TRUE(named.HasTau()) << type;
  }
  SW_Simulation s("first", nullptr);
  s.Set("FrictionType", "laws/mine.cint");
  s.Set("FormulaParameters", "0.75");
  const std::string saved = dir / "first.atr";
  s.SaveAttributes(saved.c_str());
  EXPECT_NE(ReadFile(saved).find("\"laws/mine.cint\""), std::string::npos);
  EXPECT_NE(ReadFile(saved).find("\"RheologyFilePath\", \"" + path + "\""), std::string::npos);

  SW_Simulation again("again", nullptr);
  EXPECT_EQ(again.ExecMacro(saved.c_str(), 1), 0);
  EXPECT_STREQ(again.Get("FormulaParameters"), "0.75");
  EXPECT_STREQ(again.Get("BottomShearStressFormulaFile"), "mine");
  EXPECT_STREQ(again.Get("FrictionType"), "laws/mine.cint");
  ASSERT_TRUE(again.HasTau());

  std::filesystem::remove(path);
  SW_Simulation gone("gone", nullptr);
  MessageCapture messages;
  EXPECT_EQ(gone.ExecMacro(saved.c_str(), 1), 0);
  const std::string warning = "WARNING: FrictionType: cannot find the rheology file laws/mine.cint";
  EXPECT_EQ(std::count_if(messages.messages.begin(), messages.messages.end(),
                          [&](const std::string& m) { return m.find(warning) != std::string::npos; }),
            1);
  const std::string reason = "cannot open " + path + ": No such file or directory";
  EXPECT_TRUE(messages.Contains("WARNING: gone: the rheology file of its friction law could not be loaded: " + reason));
  EXPECT_FALSE(gone.HasTau());
  EXPECT_EQ(std::string(gone.UserLawRefusal().c_str()), "friction law laws/mine.cint has no usable tau: " + reason);

  // A file that cannot be opened leaves the one loaded named; "" clears it.
  again.Set("BottomShearStressFormulaFile", "laws/other.cint");
  EXPECT_STREQ(again.Get("BottomShearStressFormulaFile"), "mine");
  again.Set("BottomShearStressFormulaFile", "");
  EXPECT_FALSE(again.HasTau());
  EXPECT_STREQ(again.Get("FormulaParametersVis"), "-");
  EXPECT_STREQ(again.Get("BottomShearStressFormulaFile"), "");
}

// A second formula replaces the first; one that does not compile leaves no shear function
// (and the text of the last one that compiled).
TEST(Simulation, ShearFormulaCompilesAgain)
{
  SW_Simulation s("shear", nullptr);
  EXPECT_DOUBLE_EQ(s.Shear(0, 6, 2, 0), 3);
  MessageCapture messages;
  for (const char* formula : {"return p * 0.5;", "return p * 0.5 + d;"}) {
    messages.Clear();
    s.Set("BottomShearStressFormula", formula);
    EXPECT_TRUE(messages.Contains("formula syntax OK")) << formula;
    EXPECT_STREQ(s.Get("BottomShearStressFormula"), formula);
  }
  s.Set("BottomShearStressFormula", "return p *;");
  EXPECT_TRUE(messages.Contains("syntax errors in formula!"));
  EXPECT_STREQ(s.Get("BottomShearStressFormula"), "return p * 0.5 + d;");
  EXPECT_FALSE(s.HasShear());
}

// Only numbers that are not finite, whole numbers beyond 32 bits and objects that are not
// there are refused when set; every other value is taken as text-to-number reads it (the run
// refuses those it cannot run with) and a project that holds it loads it whole.
TEST(Simulation, RefusesValuesThatCannotRun)
{
  SimulationProject project(3, 2, 10, [](double x, double) { return -x; });
  SW_Simulation* s = project.Add("checks");
  const std::pair<const char*, const char*> refused[] = {
      {"EndTime", "nan"}, {"DeltaT", "inf"}, {"Density", "1e400"}, {"NumParticles", "5000000000"},
      {"Mesh", "../../DHMs"}, {"Mesh", "no/such"}};
  for (auto [name, value] : refused) {
    AK_String before = s->Get(name);
    AK_ErrorText = "";
    s->Set(name, value);
    EXPECT_STRNE(AK_ErrorText, "") << name << " " << value;
    EXPECT_STREQ(s->Get(name), before) << name << " " << value;
  }
  const char* const taken[][3] = {
      {"EndTime", "-1", "-1"}, {"DeltaT", "0", "0"}, {"DeltaOut", "-5", "-5"}, {"Density", "abc", "0"},
      {"ReleaseDHMDensity", "0x10", "16"}, {"NumParticles", "0x10", "0"}, {"InternalFrictionAngle", "90", "90"},
      {"BedFrictionAngle", "-5", "-5"}, {"RestitutionCoefficient", "1.5", "1.5"},
      {"SubgridMixingFactor", "-1", "-1"}, {"AnimationStepDelay", "-1", "-1"},
      {"MassPerParticleDeterminationMethod", "by eye", "by eye"},
      {"InteractionTypeWithFluidAbove", "fog", "fog"}, {"CleanupBehavior", "tidy", "tidy"},
      // The largest doubles, whose "%.15g" text would overflow, answer and save a text that
      // reads back; one a little lower keeps its "%.15g" text; a subnormal reads back too.
      {"EntrainmentShearResistance", "1.7976931348623157e308", "1.7976931348623157e+308"},
      {"ParticlesRestitutionCoefficient", "-1.7976931348623157e308", "-1.7976931348623157e+308"},
      {"GlobalEntrainmentMinZ", "-1.7976931348623155e308", "-1.7976931348623155e+308"},
      {"CurvatureReductionFactor", "1.79769313486231e308", "1.79769313486231e+308"},
      {"ParticlesDiameter", "4.9e-324", "4.94065645841247e-324"}};
  for (auto [name, value, answer] : taken) {
    AK_ErrorText = "";
    s->Set(name, value);
    EXPECT_STREQ(AK_ErrorText, "") << name;
    EXPECT_STREQ(s->Get(name), answer) << name;
  }
  ScratchDir dir;
  s->SaveAttributes((dir / "checks.atr").c_str());
  SW_Simulation* loaded = project.Add("loaded");
  EXPECT_EQ(loaded->ExecMacro((dir / "checks.atr").c_str(), 1), 0);  // no line refused
  for (auto [name, value, answer] : taken) EXPECT_STREQ(loaded->Get(name), answer) << name;
  s->Set("DeltaT", "0.1");
  // The output interval and the step are read alone, in either order: a pair that one order
  // of setting accepts, the other does too (the run refuses a period below one step).
  for (bool outFirst : {true, false}) {
    const std::pair<const char*, const char*> pair[] = {{"DeltaOut", "6"}, {"DeltaT", "20"}};
    for (int i = 0; i < 2; ++i) {
      auto [name, value] = pair[outFirst ? i : 1 - i];
      AK_ErrorText = "";
      s->Set(name, value);
      EXPECT_STREQ(AK_ErrorText, "") << name;
    }
    EXPECT_STREQ(s->Get("DeltaOut"), "6");
    EXPECT_STREQ(s->Get("DeltaT"), "20");
    s->Set("DeltaOut", "5");
    s->Set("DeltaT", "0.1");
  }
  s->Set("Mesh", "../../DHMs/simulation_mesh");
  EXPECT_EQ(s->Mesh(), project.mesh);
  EXPECT_STREQ(s->Get("Mesh"), "../../DHMs/simulation_mesh");
  EXPECT_STREQ(s->Get("Run"), AK_NULL);  // commands are not read
}

// Every parameter changed, the simulation saved into a project directory and loaded into a
// new one: the parameters, the friction model's own parameters, the mesh and the group
// members come back, with the same children, and no command is saved.
TEST(Simulation, SaveAndLoadKeepEveryParameter)
{
  SimulationProject project(3, 2, 10, [](double x, double) { return -x; });
  SW_Simulation* s = project.Add("saved");
  const AK_AttributeTable* table = AK_FindAttributeTable("SW_Simulation");
  ASSERT_TRUE(table);
  int k = 0;
  for (const AK_AttributeEntry& e : table->Entries()) {
    if (!e.set) continue;
    double v = std::fmin(std::fmax(0.5 + 0.25 * ++k, e.min), e.max);
    if (e.type == AK_AttributeType::Double) s->Set(e.name, AK_String::Format("%.15g", v));
    if (e.type == AK_AttributeType::Int) s->Set(e.name, AK_String(static_cast<int>(v) + 1));
    if (e.type == AK_AttributeType::Text) s->Set(e.name, AK_String("text ") + AK_String(k));
    if (e.type == AK_AttributeType::Option) s->Set(e.name, e.options.back());
  }
  s->Set("FrictionType", "voellmy");
  s->Set("FormulaParameters", "0.25 1800");
  s->Set("BottomShearStressFormula", "return 2 * p;");
  s->Set("Mesh", "../../DHMs/simulation_mesh");
  s->Component(0)->Set("AppendObject", "project/DHMs/simulation_mesh");
  ScratchDir dir;
  AK_ErrorText = "";
  s->SaveProjectAs(dir.Path().c_str());
  ASSERT_STREQ(AK_ErrorText, "");
  std::string text = ReadFile(dir / "ShallowWaterSimulation.atr");
  for (const char* command : {"\"Run\"", "LoadNextTimeStep", "Interrupt", "FormulaFile"})
    EXPECT_EQ(text.find(command), std::string::npos) << command;
  EXPECT_LT(text.find("FrictionType"), text.find("FormulaParameters"));
  EXPECT_LT(text.find("FrictionType"), text.find("BottomShearStressFormula"));
  EXPECT_LT(text.find("\"Mesh\""), text.find("LoadTimeStep"));

  SW_Simulation* loaded = project.Add("loaded");
  loaded->LoadProject(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText, "");
  int compared = 0;
  for (const AK_AttributeEntry& e : table->Entries()) {
    if (!e.get || !e.set) continue;
    EXPECT_STREQ(loaded->Get(e.name), s->Get(e.name)) << e.name;
    ++compared;
  }
  EXPECT_GT(compared, 55);
  EXPECT_STREQ(loaded->Get("FormulaParameters"), "0.25 1800");
  EXPECT_EQ(loaded->Mesh(), project.mesh);
  EXPECT_STREQ(loaded->GetComponentIdList(), s->GetComponentIdList());
  EXPECT_STREQ(loaded->Component(0)->Get("ContainedObjectsList"),
               s->Component(0)->Get("ContainedObjectsList"));
}
