// SW_Simulation: one avalanche simulation in the object tree.
//
// It holds the parameters of the flow model (each an attribute of the class table, declared
// once in DeclareAttributes with its type and range), the link to the terrain mesh it runs
// on, the groups that link the areas and lines driving the run, the result fields and the
// particle set, and the user friction code (a shear formula and a rheology file).
//
// The class is split by concern, one header:
//   SW_Simulation.cpp             construction, the attribute table, the mesh and its fields
//   SW_Simulation_Friction.cpp    friction models, the shear formula, rheology files, the
//                                 user laws' calls, the friction-angle check and the
//                                 earth-pressure coefficients
//   SW_Simulation_Release.cpp     the release set-up on the mesh and the mass reports
//   SW_Simulation_Update.cpp      the update pass
//   SW_Simulation_Run.cpp         "Run" and "Continue", the run loop, the output of a run
//   SW_Simulation_Values.cpp      the values a run or the release set-up cannot start with
//   SW_Simulation_Flow.cpp        the field update outside a run
//   SW_Simulation_TimeSteps.cpp   writing, reading, stepping through and deleting time steps
//   SW_Simulation_Background.cpp  runs in a second process, the status, "Interrupt"
//   SW_Simulation_Commands.cpp    the animation and the evaluations
// A run's own state and work (the flow model's state, the views of the scene, the steps of
// the run loop) live beside the simulation in SW_SimulationRun.h.
//
// A simulation stands below the project's "Simulations" container: the project is the parent
// of its parent.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "AK_ClassHelper.h"
#include "AK_WeakRef.h"
#include "SW_FlowTables.h"
#include "SW_Mesh.h"
#include "SW_Particles.h"
#include "SW_ResultFields.h"
#include "SW_RunDirectory.h"
#include "SW_RunLock.h"
#include "SW_ScalarField.h"
#include "SW_UserCode.h"
#include "SW_VectorField.h"

class SW_SimulationRun;

// The groups of a simulation that link the areas and lines driving its run, in the order the
// simulation holds and saves them, with the type of their members.
enum class SW_SimulationGroup {
  ReleaseAreas,
  EntrainmentAreas,
  SecondaryReleaseAreas,
  ResistanceAreas,
  WallLines,
  SourceLines,
};
struct SW_GroupKind {
  const char* id;
  const char* selectedType;
};
inline constexpr SW_GroupKind SW_SimulationGroups[6] = {
    {"ReleaseAreas", "ReleaseArea"},          {"EntrainmentAreas", "ReleaseArea"},
    {"SecondaryReleaseAreas", "ReleaseArea"}, {"ResistanceAreas", "ResistanceArea"},
    {"WallLines", "WallLine"},                {"SourceLines", "SourceLine"},
};
// Its result fields are the rows of SW_ResultFields (SW_ResultFields.h).


// The newest time step of a run directory as one command looked at it. A command that holds the run
// lock looks once: no other writer changes the series meanwhile, and its own saves write none.
struct SW_NewestSeen {
  bool looked = false;
  AK_String name;     // "" when there is none
  double time = 0;
  AK_String unread;   // why it cannot be told, "" when it can
};

// The label of a simulation: the last part of its mesh's base mesh path and "_" (or
// "simulation" when that path holds no "/"), the identifier, "_" and the current time-step name.
AK_String SW_SimulationLabel(const char* baseMesh, const char* identifier, double currentTime);

// Which saved values a comparison with the simulation's own takes in. The class file marks each
// attribute a run reads ("run:state" or "run:end"); the rest are for display and bookkeeping.
enum class SW_ValuesCompared {
  Saved,  // every saved value but the record: what another process may have saved since
  Run,    // what a run reads, its end included: saved before a run starts
  State,  // what the time steps depend on: a record names no time step computed under others
};

class SW_Simulation : public AK_Class<SW_Simulation> {
public:
  static constexpr const char* kClassName = "SW_Simulation";
  SW_Simulation(const char* id, AK_Object* parent);
  ~SW_Simulation() override;
  static void DeclareAttributes(AK_AttributeTableOf<SW_Simulation>& t);

  // --- friction models ---
  static constexpr int kBuiltInFrictionTypeCount = 5;
  static constexpr const char* const (&kBuiltInFrictionTypes)[kBuiltInFrictionTypeCount] =
      SW_FrictionLawNames;
  static constexpr const char* kClassicFriction = SW_FrictionLawNames[SW_FrictionClassic];
  static constexpr const char* kDefaultShearFormula = "return v / h * 1.0;";
  // The head of the user shear function, as BottomShearStressFormulaSignature reports it.
  static const char* const kShearSignature;

  // --- parameters (attributes of the same name), in the order the object holds them ---
  AK_String PsaMesh;
  AK_String FrictionType = kClassicFriction;
  double InternalFrictionAngle = SW_FlowDefault::internalFrictionAngle;
  double BedFrictionAngle = SW_FlowDefault::bedFrictionAngle;
  double DynamicFrictionCoefficient = SW_FlowDefault::dynamicFriction;
  AK_String BottomShearStressFormula;    // only ever a body that compiled
  AK_String BottomShearStressFormulaFile;  // the rheology file last loaded with success
  double Density = SW_FlowDefault::density;
  AK_String ReleaseDHM = "none";
  double ReleaseDHMDensity = 150;
  AK_String EntrainmentDHM = "none";
  double EntrainmentDHMDensity = 50;
  double GlobalEntrainmentAreaWeight = 0;
  double GlobalEntrainmentMinZ = 0;
  double GlobalEntrainmentTemperature = -10;
  double GlobalEntrainmentTemperatureGradient = -0.01;
  double EntrainmentShearResistance = 0;
  double EntrainmentDeformationResistance = 0;
  double EntrainmentErosionEnergy = 0;
  double SubgridMixingFactor = SW_FlowDefault::subgridMixing;
  double RestitutionCoefficient = SW_FlowDefault::restitution;
  double CurvatureReductionFactor = SW_FlowDefault::curvatureReduction;
  int32_t SphMode = 0;
  AK_String InteractionTypeWithFluidAbove = "none";
  double ParticlesMinFroudeSaltation = 400;
  double ParticlesSuspensionCoeff = 5;
  double ParticlesDiameter = 0.001;
  double ParticlesMaterialDensity = 900;
  double ParticlesDragCoefficient = 1;
  double ParticlesRestitutionCoefficient = 0.98;
  double DfaTurbulenceFactor = 0.05;
  int32_t TurbulenceReactionMode = 0;
  double ParticlesReflexionAngle = 30;
  double ParticlesReflexionMinimalVelocity = 3;
  double PsaMinRoughness = 0.01;
  double PsaRoughnessVibrationConst = 0.0001;
  double PsaRoughnessSuspensionConst = 10;
  int32_t PsaDirectEntrainment = 0;
  double ParcelMass = 50;
  double ParticlesTimeStep = 0.1;
  double EndTime = 100;
  double DeltaT = 0.1;
  double DeltaOut = 5;
  AK_String Remark;
  AK_String CleanupBehavior = "keep all time steps";
  AK_String MassPerParticleDeterminationMethod = "delta-depth per particle";
  double MassPerParticle = SW_FlowDefault::massPerParticle;
  double NumParticlesPerCell = 5;
  int32_t NumParticles = 20000;
  double DeltaDepthPerParticle = 0.5;
  int32_t PsaNumMPI = 1;
  double Dx = 0;
  int32_t Honeycomb = 0;
  int32_t AnimationWriteImageFiles = 0;
  int32_t AnimationStepIncrement = 1;
  double AnimationStepDelay = 0;
  double PeakKineticEnergy = 0;  // read-only
  AK_String AdditionalPSASolverArgs;
  double CurrentTime = 0;        // read-only
  AK_String CurrentTimeStep;     // read-only: the time-step file last written or loaded

  // --- the update pass (SW_Simulation_Update.cpp) and the project save ---
  // Finds the mesh again by its path, checks the friction angles and, when active, prepares
  // the release anew after a change of its inputs (not after a time step was loaded), titles
  // the result fields and updates the children with the particles' internal enthalpy shown.
  void Update() override;
  // Saved into another project directory, the time steps follow the simulation there: the
  // target's run directory then holds exactly the series of the directory the simulation was
  // loaded from or last saved to (its other time steps removed; none for a simulation of
  // neither), and the run's "start.log", put in place whole or not at all (SW_SeriesCopy). The
  // save holds the target's run lock from before anything of the target is written (refused
  // while a run goes on there, in any process) and stages the copy then; this process holds the
  // series there only when it held the one copied throughout. A load reads the directory under
  // its lock, after it finished a copy into it that was cut short. A deletion or a renaming of
  // the simulation holds its run lock and its directory's lock: refused while a run of it goes
  // on, in any process.
  bool HoldDirectory(const char* directory, AK_DirectoryChange change, AK_DirectoryHolds& holds) override;
  // A load removes the run locks that takers killed half-way set aside in the run directory too.
  AK_Leftovers LeftoversOfKilledWriters() override { return SW_LeftoversAtLoad(); }
  // The saved attributes. The time step to load is the state this process holds only while it
  // holds the run directory's series (the gate SW_SeriesHold::Pass lets its record pass) and the
  // file is there; otherwise the one the saved project records, or, when that file is gone, the
  // newest: a save never sets the record back behind another's run, nor names a time step that
  // is gone. Saved into another directory, the record is that of the series copied there.
  void SaveAttributes(const char* fileName) override;
  void LockForSave(const char* directory, AK_DirectoryHolds& holds) override;
  // A save into another directory copies every time step of the series: one that cannot be
  // opened refuses the whole save before its first file, never after the files before it.
  AK_String SaveRefusal(const char* directory) override;
  // After a load: the simulation bound to its project's run directory, nothing of an earlier
  // one left in view; when the run of the saved project did not end (see SW_RunIsGone), its
  // lock taken over (see SW_RunLock and RecordRunThatIsGone) and the state of that run's last
  // time step, the newest of its run directory, when that run computed it under the values saved
  // (GoneRunNotOwn); otherwise the state the load holds stays.
  void AfterLoad() override;

  // --- the mesh ---
  SW_Mesh* Mesh() const { return _mesh.Get(); }
  // Assigns the terrain mesh at the path (from the simulation); an empty path, or the mesh
  // the simulation has, changes nothing. The caller has checked that the path names a mesh.
  void SetMesh(const char* path);
  // The path of the mesh from the simulation, "" without one.
  AK_String MeshPath();
  // What a run accumulates from its start, which a time step's header keeps: the time, the
  // time step it stands in, the peak kinetic energy. A new simulation holds the start values;
  // every release set-up starts them there again, the first and every one after a run alike.
  struct RunProgress {
    double currentTime = 0;
    AK_String currentTimeStep;
    double peakKineticEnergy = 0;
  };
  RunProgress HeldRunProgress() const;
  void SetRunProgress(const RunProgress& progress);
  // The set-up of the release on the mesh: release depths, particles, bound fields, at 0 s.
  // Answers why no run can start from it (a depth or mass that is no finite number >= 0,
  // numbers that make too many or no particles or not enough memory for them, a release that
  // makes no particle and no source to feed the run), after a warning; empty when a run can.
  // It starts the run's progress anew (RunProgress) and the result fields at 0.
  // A refused set-up leaves a state held on this mesh as it was (time, particles, fields).
  AK_String Initialize();
  // The mass per particle a run goes on with: "MassPerParticle", or, for a method outside the
  // list, the one its mass correction made of that input (the attribute stays the input).
  double RunMassPerParticle() const;
  // False when a method outside the list has not been set up with the input it has now.
  bool RunMassPerParticleKnown() const;
  // Finds that corrected mass when it is not known (a process that loaded the particles of a
  // time step with other inputs set up): the release set up once more and put aside again,
  // the state held staying as it is. Why it could not be set up; empty when found.
  AK_String FindRunMassPerParticle();
  // The entrainable snow per cell: both entrainment fields bound per cell to the mesh.
  void InitEntrainmentAreaWeights();
  // The masses of the release, secondary release and entrainment areas (each area's "Mass"
  // in single precision), of the particles, and of the entrainable snow on the mesh.
  AK_String ReleaseMassText();
  AK_String SecondaryReleaseMassText();
  AK_String EntrainmentAreasMassText();
  AK_String CurrentMassText();
  AK_String EntrainableMassText();
  // Binds the result fields and the particle set to the mesh; nothing without a mesh.
  void BindFieldsToMesh();
  // The meshes below the project's "DHMs" whose identifier contains "simulation", each
  // followed by "%AK_SEP%"; "" outside a project.
  AK_String SimulationMeshNamesList();
  // The project: the parent of the container the simulation stands in; none outside one.
  AK_Object* Project() const;

  // --- the result fields and the particle set: owned components, none once deleted ---
  // The field of a row of SW_ResultFields (a scalar or a vector field as the row says).
  AK_Object* ResultField(int row) const { return _resultFields[row].Get(); }
  SW_ScalarField* ScalarResult(int row) const { return static_cast<SW_ScalarField*>(ResultField(row)); }
  SW_VectorField* VectorResult(int row) const { return static_cast<SW_VectorField*>(ResultField(row)); }
  SW_ScalarField* FlowDepth() const { return ScalarResult(SW_ScalarRow("FlowDepth")); }
  SW_ScalarField* PeakFlowDepth() const { return ScalarResult(SW_ScalarRow("PeakFlowDepth")); }
  SW_VectorField* Velocity() const { return VectorResult(SW_VectorRow("Velocity")); }
  SW_ScalarField* DynamicPeakPressure() const { return ScalarResult(SW_ScalarRow("DynamicPeakPressure")); }
  SW_ScalarField* PeakForcePerWidth() const { return ScalarResult(SW_ScalarRow("PeakForcePerWidth")); }
  SW_ScalarField* PeakTorquePerWidth() const { return ScalarResult(SW_ScalarRow("PeakTorquePerWidth")); }
  SW_ScalarField* FrontArrivalTime() const { return ScalarResult(SW_ScalarRow("FrontArrivalTime")); }
  SW_ScalarField* EntrainmentMass() const { return ScalarResult(SW_ScalarRow("EntrainmentMass")); }
  SW_ScalarField* EntrainmentEnthalpy() const { return ScalarResult(SW_ScalarRow("EntrainmentEnthalpy")); }
  SW_Particles* Particles() const { return _particles.Get(); }
  // Not a component: neither listed nor saved, never deleted; the run binds it.
  SW_ScalarField& BottomPressure() const { return *ScalarResult(SW_ScalarRow("BottomPressure")); }
  // Maps the particles onto the result fields up to the time (field update of the run).
  void UpdateFields(double time);

  // --- friction (SW_Simulation_Friction.cpp) ---
  void SetFrictionType(const char* text);
  // The built-in names, then the rheology files, each followed by "%AK_SEP%".
  static AK_String FrictionTypeOptions();
  bool IsBuiltInFrictionType() const;
  // Compiles the shear formula; on success it replaces the one in force, otherwise no shear
  // function is left (the formula's text stays the last that compiled).
  void CompileShearFormula(const char* formula);
  void LoadRheologyFile(const char* path);
  // The rheology file a saved project keeps for its user law: the absolute path of the file
  // last given to the law (as it was opened, loaded or not), "" when none was given since
  // "FrictionType" was set or when "FrictionType" names that file from the rheology folders
  // (the name alone finds it again).
  AK_String StoredRheologyFile() const;
  // Its replay when a project loads, after "FrictionType" and the formula: loads the file
  // unless the law was already given that very file ("" changes nothing). A file that does
  // not load leaves a warning naming it and why, and not an error, so the project loads on;
  // the run of the user law then refuses with that reason.
  void LoadStoredRheologyFile(const char* path);
  AK_String FormulaParameters();
  void SetFormulaParameters(const char* text);
  const char* FormulaParametersVis() const;
  // The stored rheology file's name without directory and extension.
  AK_String BottomShearStressFormulaFileName() const;
  // Why a run cannot start under the friction law: "friction law NAME has no usable tau: "
  // and the reason, when the law is a user law whose rheology file did not load, or one with
  // neither "tau" nor "shear"; "" otherwise.
  AK_String UserLawRefusal() const;
  // Why a run cannot start with the values of its attributes (SW_Simulation_Values.cpp):
  // "<attribute> <value> <why>" for the first value it cannot run with (a density, step,
  // output interval or mass per particle that is not positive, a friction angle of 90
  // degrees or more, a negative friction, erosion energy or mixing factor); "" when it can.
  // `startsOver`: the run sets the release up anew, whose method may compute the mass per
  // particle.
  AK_String ValueRefusal(bool startsOver);
  // The same for the release set-up: the numbers it turns a release into particles with (the
  // density, the release raster's density, the input of the mass-per-particle method).
  AK_String ReleaseValueRefusal() const;
  // Raises the internal friction angle to the bed friction angle where a model needs it and
  // computes the earth-pressure coefficients (process-wide, reported only).
  void CheckFrictionParameters();
  AK_String PrintEarthPressureCoefficients();
  const char* EarthPressureCoefficientsVis() const;
  // k_x_act, k_x_pas, k_y_act_x_act, k_y_act_x_pas, k_y_pas_x_act, k_y_pas_x_pas.
  static const float* EarthPressureCoefficients();

  // The user friction laws for the time step. Each answers 0 when its function is missing,
  // and NaN when its script fails at run time (the reason: ast_sci_last_error).
  bool HasShear() const { return static_cast<bool>(_shear); }
  bool HasTau() const { return static_cast<bool>(_tau); }
  bool HasEntrainmentEnergyLoss() const { return static_cast<bool>(_entrainmentEnergyLoss); }
  double Shear(double p, double v, double h, double d) const;
  double Tau(double p, double u, double h, double rho, double t, const double x[3],
             const double n[3], double enthalpy) const;
  double EntrainmentEnergyLoss(double p, double u, double h, double rho, double t,
                               const double x[3], const double n[3], double tau, double q,
                               double es, double ed) const;
  // The user laws as calls for a time step: the simulation's own, or (`instance`) those of
  // instances of its scripts for another thread, which the calls keep. False for an instance
  // when a script reaches outside itself (SW_UserCode::Instance).
  struct UserLawCalls {
    ast_sci_prepared_call shear, tau, entrainmentEnergyLoss;
    std::shared_ptr<const SW_UserCode> shearCode, rheologyCode;
  };
  bool MakeUserLawCalls(bool instance, UserLawCalls& calls) const;

  // --- the run (SW_Simulation_Run.cpp) ---
  // Something to release: a release area, a release raster, or a point source of positive
  // strength.
  bool HasRelease();
  // A release the user defined: release or secondary release areas, or a release raster
  // (SW_Simulation_Release.cpp).
  bool DefinesRelease();
  // The run loop of "Run" and "Continue": set-up, steps to the end time, outputs, status.
  // `fromStart`: the release is set up anew and the run starts at 0 s (as it does for a
  // "Continue" from a state at 0 s or without particles); a set-up refused leaves the state
  // held as it was.
  void RunLoop(bool fromStart = false);
  // Its parts with a rule of their own: the series made ready before the first step, and the end.
  AK_String ReadySeries(bool startsOver, bool valuesSaved, std::optional<AK_DirectoryLock>& beginning,
                        bool& ofTheDirectory);
  void EndRunLoop(const AK_String& failure, double startCpu);
  // True when the time-step file named by "CurrentTimeStep" is that of the current time and
  // stands in the project directory: it holds the state a "Continue" starts from, which the
  // run then does not write again. One look at that file: when it fails, false with `failure`
  // ("<path>: <why>"), which a command that writes by the answer refuses for.
  bool HoldsWrittenTimeStep(AK_String* failure = nullptr);
  // After a step that stopped half-way (its entrainment, motion or removals done, its time
  // not): the time step last written or loaded, read back, so that what the simulation holds
  // is a state the files reproduce; without one, the release set up anew at 0 s (or, refused,
  // no particle at 0 s).
  void ReturnToWrittenState();
  // At the end of a run: the saved simulation (its attribute file in the project directory)
  // records the time step the run holds, so that a process that loads the project goes on
  // from there, while this process holds the series. Only that line changes, under the lock
  // of the directory's writers; a failure to write it is a warning. A run killed before leaves
  // its lock, and whatever takes that over records the run's last time step
  // (RecordRunThatIsGone). "" when recorded (or nothing is to be), else why not, which the
  // error text says too when it was empty.
  [[nodiscard]] AK_String RecordRunState();
  // After the run lock of a run whose process is gone was taken over: the saved simulation
  // records the newest time step of the run directory (none when it holds none), the last one
  // that run wrote whole, as the run would have at its end. The run directory is the
  // project's own, or `directory`: one this simulation saves into, whose run that was.
  // "" when recorded, else why not.
  AK_String RecordRunThatIsGone(const char* directory = nullptr);
  // Why the newest time step of the run directory `directory`, whose run's process is gone, is
  // not that run's own under the values saved there (its values file says otherwise): "" when it
  // is, or when the directory kept no values (a build before). `status` is the run's status
  // before its end was written: a start that never ran left "started" or "interrupted".
  AK_String GoneRunNotOwn(const char* directory, const AK_String& status);
  // What a load of the project holds: the time step the saved simulation records, or the release
  // at 0 s when that cannot be read; said in an INFO that begins with `why`.
  void HoldRecordedState(const AK_String& why);
  // A record in the saved simulation of `dir` that names a time step whose file is gone names none
  // from now on (the gate letting `change` pass); "" when that holds, else why not.
  AK_String ForgetRecordOfFileGone(const AK_String& dir, SW_SeriesChange change);
  // What a taker of a run lock (SW_RunLock) records: a run it ended (RecordRunThatIsGone) or what a
  // cut deletion keeps (SW_RecordTakenOver); safe after the simulation was deleted.
  SW_RecordTakenOver RecordForTaker() { return RunDirectoryCalls().recordTakenOver; }
  // After the run directory moved with the simulation's new identifier: what this process
  // holds there follows it, under its new path.
  void FollowMovedDirectory() { _series.Bind(ProjectDir()); }
  // Why a "Continue" cannot go on from the state held, "" when it can. Unless it starts over
  // from 0 s, this process must hold the run directory's series (SW_SeriesHold): a run goes
  // on from the series it continues, never from one another process has changed. Then it
  // goes on when no time step of the run directory is later than that state, or when the user
  // chose the state with "LoadTimeStep" (or a step through the time steps; the load of a saved
  // project is no such choice). The reason names the newest time step and how to go on.
  // `newest`: the newest time step as this command looked at it already, or where it keeps it.
  AK_String StaleStateRefusal(SW_NewestSeen* newest = nullptr);
  // The time step of the state held when the user chose it (see StaleStateRefusal) and its
  // file stands; "" otherwise. A continue in another process loads it again. `failure` as
  // HoldsWrittenTimeStep's.
  AK_String ChosenTimeStep(AK_String* failure = nullptr);
  // A background or batch run of this simulation has been started: the process that runs it
  // holds the simulation's state from now on.
  void HandStateToOtherProcess() { _series.HandOver(); }
  // Before a "Continue" of either form: after a run in another process, the state it left,
  // its run directory's last time step, read back (a run that changed no time step left the
  // state held; nothing to read keeps it as well; one that computed no time step of its own there
  // leaves what the project records, see GoneRunNotOwn). Nothing while that run is still under way
  // (its start refuses then). False, the continue refused, when the time step cannot be read.
  bool TakeBackRunState();
  // The output of a run at the current time: a redraw when a view is shown, the time-step
  // file. "" when written (or when there is no project directory to write into), otherwise
  // why the run stops: the time, the file and the error.
  AK_String WriteOutput();
  // Writes the state held as the time step of the current time, through the gate of the
  // series (SW_SeriesHold::Pass) under the run directory's lock. "" when written; otherwise
  // why not, every file left as it was; `refused` is set when the gate refused it.
  AK_String WriteTimeStep(bool* refused = nullptr);
  // Why a run that starts now cannot run, "" when it can: the checks that every start makes
  // before it removes or writes a file, "Run" and "Continue" as their background and batch
  // forms (there in the starting process too, so that nothing is started that would only
  // refuse). `continuing`: a "Continue" from the time held. Sends the messages that name a
  // case.
  // `ofTheDirectory` is set when the refusal is that the run directory holds no state this
  // process may go on from (StaleStateRefusal); `newest` is handed on to it.
  AK_String StartRefusal(bool continuing, bool* ofTheDirectory = nullptr, SW_NewestSeen* newest = nullptr);
  // Before a run writes anything: refused (with why, naming the object) when an object it reads
  // (ObjectsARunReads) is not what this process read or wrote last, because another process
  // saved another one under its path, deleted or renamed it since; "" otherwise.
  AK_String InputsSavedElsewhereRefusal();
  // Why a run cannot trust what it reads from the tree: "what it reads was loaded with errors: "
  // and the damage of each object it may read that did not load whole (AK_Object::LoadDamage);
  // "" when none did.
  // A run reads the simulation and everything below it, its mesh, the areas and lines its groups
  // link, and the rasters it names by path (the release and entrainment rasters, the mesh of a
  // coupled flow above), each with what lies below it.
  AK_String InputDamage();
  // A WARNING for each object that was loaded with errors but that a run does not read (other
  // simulations aside): it names the object, and the run goes on.
  void WarnOfDamageElsewhere();
  // A "Continue" from the state held sets the release up anew and starts from 0 s: at 0 s,
  // or with no particle to go on with.
  bool ContinueStartsOver();
  // The one end of every refused run: the error text "<path>: not run: <reason>", so the
  // command answers that it failed. A refused command changes no file; only the run of a
  // background start, whose launcher waits for its status, ends with the status "finished" and
  // the info "not run: <reason>", whatever they said before, and with a project directory; but
  // nothing in a run directory that the refused command itself made (the simulation's was
  // gone): it goes again. `ofTheDirectory` (refused because the series there is not this
  // process's) asks for nothing else since.
  void RefuseRun(const char* reason, bool ofTheDirectory = false);
  // The status and info of a run that did not run, "finished" and "not run: <reason>" (see
  // RefuseRun); also of a simulation that a batch start does not run, whose run lock it holds.
  void WriteNotRun(const char* reason);
  // Sent by a background run's start macro before it loads the project (and so only in the
  // process that runs it): when this process ends without having run, the run ends too.
  void DeactivateLoadingPsaResults(const char* value);
  // Why the run of a background start that this process plays cannot run: the saved
  // simulation it loaded, the bytes its load ran (LoadedAttributesDigest), is none its launcher
  // saved at the start or after it (SW_SavedSimulationExpected): another process saved it after
  // the start. "" otherwise, and for every later run of this process.
  AK_String BackgroundStartRefusal();
  // A run in the foreground (Run, Continue) whose values differ from those of the saved
  // simulation saves the simulation's subtree before it touches a time step: its record then
  // never names a time step computed under values the saved simulation does not hold. The
  // comparison leaves the record itself aside (AK_Object::SavedAttributesDiffer); without a
  // project directory or a saved simulation nothing is saved. The refusal of the run when the
  // save failed, "" otherwise.
  AK_String SaveValuesToRun();
  // The stamp of the saved simulation, the digest of its attribute file in the project
  // directory (AK_FileDigest).
  AK_String SavedStamp();
  // The per-cell arrays of a run: resistance areas and wall marks.
  void UpdateCellResistances(SW_SimulationRun& run);
  void MarkWallCells(SW_SimulationRun& run);
  // One time step from t; 0, or else the run cannot go on and its error text says why: 1, or
  // SW_StepOutOfParticles when the particles outgrew their bound or the memory.
  int ComputeTimeStep(double t, double dt, SW_SimulationRun& run);
  // One of the simulation's groups; none once deleted.
  AK_Object* Group(SW_SimulationGroup group) { return GetComponent(SW_SimulationGroups[int(group)].id); }
  // The members of one of the simulation's groups that are of class T, in the group's order.
  template <class T>
  AK_Array<T*> GroupMembers(SW_SimulationGroup group)
  {
    AK_Array<T*> members;
    if (AK_Object* g = Group(group))
      for (int i = 0; i < g->ComponentCount(); ++i)
        if (auto* m = dynamic_cast<T*>(g->Component(i))) members.Append(m);
    return members;
  }

  // --- commands of the run, the time steps, the animation and the evaluations
  //     (SW_Simulation_Commands.cpp) ---
  void Run(const char* value);
  void Continue(const char* value);
  void RunInBackground(const char* value);
  // The batch form: the start line goes into the batch file, which starts the run later;
  // "" when a line was written, else why the simulation does not run (the error text says it
  // with the simulation's path, as the other forms do). The caller holds the simulation's run
  // lock (SW_RunLock).
  AK_String RunInBackground(std::FILE* batch);
  // A start of a simulation that was never saved makes its run directory by taking its lock there:
  // the simulation is saved first, so that its directory stands whole (every file of it) or not at
  // all; with `continuing` given, only once the run's own checks (StartRefusal) pass. "" when the
  // directory stood or now does, else why not; `refused` when the checks refused the start (the
  // error text says so, as a run's refusal does). A batch start, which passes over what they
  // refuse, gives none.
  AK_String SaveNewRunDirectory(std::optional<bool> continuing = std::nullopt, bool* refused = nullptr);
  // The digest of the values a run of it runs under, as its run directory holds them saved now
  // (missing without a saved simulation there).
  AK_Read<AK_String> SavedRunValues() { return SavedValuesDigest(ProjectDir(), SW_ValuesCompared::State); }
  void ContinueInBackground(const char* value);
  void Interrupt(const char* value);
  // The word of the run's status file, "unknown" without one.
  AK_String RunStatus();
  // The status file says a run is going on or has been started, and a live process holds the
  // run lock (a status whose run is gone counts for nothing).
  bool RunUnderWay();
  // "w" when a run can start now (a mesh, no run under way, the mesh of a flow above found),
  // else "r".
  const char* RunVis();
  // "w" when the run can be continued from the state held (with a coupling, when the flow
  // above has a restart state at the current time), else "r".
  const char* ContinueVis();
  // The name of the flow above's restart entry for the current time, "" when none.
  AK_String FluidAboveRestartFile();
  // "w" while a run is under way, so that "Interrupt" makes sense, else "r".
  const char* InterruptVis();
  void UpdateReleaseMass(const char* value);
  // Writes the state held as a time step, as a run's output does: refused while a run of the
  // simulation is under way or when this process does not hold the series. A state at 0 s that
  // this process holds no series for (a release set up anew) starts the series anew where no
  // later time step stands, and is refused where one does.
  void SaveTimeStep(const char* value);
  void LoadTimeStep(const char* value);
  // The same; true when the file was read whole and the simulation took it (and the series it
  // was read from, see SW_SeriesHold::Take).
  bool LoadTimeStepFile(const char* name);
  void LoadNextTimeStep(const char* value);
  void LoadPrevTimeStep(const char* value);
  void LoadFirstTimeStep(const char* value);
  void LoadLastTimeStep(const char* value);
  void SetTime(const char* value);
  void AnimateTimeSteps(const char* value);
  void SetAssignedViews(const char* value);
  void SetAssignedAnimationView(const char* value);
  void ClearAnimationViews(const char* value);
  void AnimateWithAssignedViews(const char* value);
  // The view assigned to the current time (the first), "none" without one.
  AK_String AssignedAnimationView();
  // "current", "none" and the views of the project's view container.
  AK_String AssignedAnimationViewOptions();
  void DeleteTimesteps(const char* value);
  void ShowShallowWaterLogFile(const char* value);
  void EvaluateDepositionWith(const char* value);

  // Temperature of the snow of the release raster, degrees C.
  float ReleaseTemperature() const { return _releaseTemperature; }

private:
  void CreateChildren();
  void DropRheology();

  // The release set-up without its end (the result fields reset and bound): `trial` sets it
  // up only for the mass per particle of a run that goes on with its own particles.
  AK_String SetUpRelease(bool trial, double& runMass);
  void KeepRunMassPerParticle(double runMass);
  // The corrected mass per particle of the last set-up, with the input and method it was
  // made from.
  struct RunMass {
    double mass = 0;
    double input = 0;
    AK_String method;
  } _runMass;

  float _releaseTemperature = -10;
  AK_WeakRef<SW_Mesh> _mesh;
  AK_String _meshName;  // the path last given to Mesh
  bool _startedInBackground = false;  // this process plays a background run's start macro
  bool _runOfBackgroundStart = false;  // the run command under way is that start's
  bool _runMadeItsDirectory = false;   // the run command under way made the run directory
  // The series of time steps this process last read its state from or wrote, and whether it
  // holds it still: what every writer of the run directory asks first.
  SW_SeriesHold _series;
  // The user chose the state held with "LoadTimeStep" since this process last took one.
  bool _stateChosen = false;
  // What the last start check of a run that goes on found at the file of its state: whether the
  // run goes on from a time step written (and writes its start not again). The check's one look
  // decides it, and a look that failed refused the run.
  bool _goesOnFromWritten = false;
  // The state held is a release set up anew, read from no time step.
  bool _setUpAnew = false;
  // The peak kinetic energy that the file of the state held keeps, that of the steps before
  // the state, and the time of that state (below 0 for none): written again, the state's file
  // is the same file, although a run that ended there counted the state itself in.
  double _filePeak = 0;
  double _filePeakTime = -1;
  // Why this process does not hold the run directory's series, for a state that is not the
  // release at 0 s: "another process has written time steps since this one took its state at
  // ..." or "the time steps up to its state at ... have been removed since this process took
  // it", with the newest time step of the run directory and how to go on.
  AK_String SeriesLapse();
  // Why the gate of the series refused this process a change: the failure of its stamp, or
  // else why the process does not hold the series (SeriesLapse).
  AK_String GateRefusal(const SW_SeriesHold::Gate& gate);
  // The state held as text, "its state at T s" with its time step when it has one.
  AK_String StateText();
  // Records a time step in the saved simulation (see RecordRunState) when the gate of the series
  // lets `change` pass: Record for the state held, RecordNewest for the newest time step of a run
  // that is gone.
  // The saved simulation is that of `directory` when given (RecordNewest only: a directory this
  // simulation saves into). "" when recorded or when the gate refused only because the series is
  // not held; otherwise why the record could not be written.
  AK_String RecordTimeStep(const AK_String& step, SW_SeriesChange change = SW_SeriesChange::Record,
                      const char* directory = nullptr);
  // The record a save of the simulation writes of the series in `dir` (see SaveAttributes and
  // CopyStateInto): `ownState`, it may name the state this process holds; `copying`, the series
  // goes into another directory. Unreadable when what it is chosen by cannot be read.
  AK_Read<AK_String> RecordToSave(const AK_String& dir, bool ownState, bool copying);
  // The values of this simulation that a time step depends on are not those its saved attribute
  // file in the directory holds (missing without one): a record there must name no time step this
  // process's values did not compute. Its references are left to ObjectsDifferFromRun.
  AK_Read<bool> ValuesDifferFromSaved(const char* directory);
  // What a comparison of its values with the saved ones leaves out (see SW_ValuesCompared): the
  // record always; the entries the class file does not mark; and, for a run or a state, the
  // numbers the release set-up derives from the input of the mass method in force.
  std::vector<const char*> ValuesLeftOut(SW_ValuesCompared compared);
  // The digest of the saved simulation's values in the directory (missing without one), as compared
  // (SW_Simulation_Inputs.cpp): of the values, after a "+", of the objects its references name
  // there, and after another, of the members of its groups, each by its saved data, whatever its
  // path.
  AK_Read<AK_String> SavedValuesDigest(const char* directory, SW_ValuesCompared compared);
  // A digest of the values a run ran under (its values file) stands for the values saved in the
  // directory now, whose digest is `saved`; one of a build before, which took the paths' text, when
  // that text is still what the file says.
  bool SameSavedValues(const char* directory, const AK_String& values, const AK_String& saved);
  // The objects the references of the run in the directory named (its values file) are not those
  // named now: those this process holds (`held`), or those the saved simulation names. False when
  // the values file tells nothing of them (a run under values it did not save, a build before).
  AK_Read<bool> ObjectsDifferFromRun(const char* directory, bool held);
  // The entries that name another object a state depends on, those of `leftOut` aside.
  std::vector<const AK_AttributeEntry*> StateReferences(const std::vector<const char*>& leftOut);
  // The digest of the objects those references name: as the saved text of the simulation in the
  // directory names them, or as this process holds them (each by the data it saved last).
  AK_Read<AK_String> SavedObjectsDigest(const char* directory, const AK_String& saved,
                                        const std::vector<const AK_AttributeEntry*>& references);
  AK_Read<AK_String> HeldObjectsDigest(const std::vector<const AK_AttributeEntry*>& references);
  // The members of its groups, each as the digest of its path beside that of its saved data: as
  // the groups' saved files in the directory name them, or as this process holds them.
  AK_Read<AK_String> SavedMembersDigest(const char* directory);
  AK_Read<AK_String> HeldMembersDigest();
  // The value the saved text sets the attribute of the simulation itself to; "" when none.
  AK_String SavedValueIn(const AK_String& saved, const char* attribute);
  // Whether a run directory stands: Found only for a directory; Failed (with "<path>: <reason>" in
  // `failure`) when nobody can tell, which decides nothing that writes.
  static AK_PathLook LookAtRunDirectory(const AK_String& directory, AK_String* failure);
  // After a load: a state read from a time step that was computed on other objects than those the
  // simulation names now (one replaced under its path) is left for the release at 0 s.
  void LeaveStateOfOtherObjects();
  // That digest of a state's values when the run of this process started under the saved
  // values, "-" otherwise.
  AK_String _runValues;
  // Before this process writes its values over a saved simulation (into its own directory, or
  // copied from the one they came from): the values another process saved there since this one
  // last read or wrote them, and that this one has not changed since, are taken over, so that a
  // save never puts back what another process changed (a save undone, and a time step recorded
  // under values that are not its own). True when one that a time step depends on was taken: the
  // state this process holds was not computed under the values it has now.
  bool TakeValuesSavedSince(const char* directory);
  // Those values, each with its name, without taking them: none when this process saw no saved
  // values, or sees the very file or the same values; unreadable when the file cannot be read.
  using SavedValues = std::vector<std::pair<AK_String, AK_String>>;
  AK_Read<SavedValues> ValuesSavedSince(const char* directory);
  // Before a run writes its values over the saved simulation: refused (with why) when another
  // process saved values since that name an object this process does not hold (a mesh it renamed):
  // taken over, they would leave the run with nothing to run on after its save; "" otherwise.
  AK_String ValuesSavedSinceRefusal();
  // Remembers the saved values as this process reads or writes them now.
  void SeeSavedValues(const char* directory);
  // Before a run: the groups whose members differ from their saved ones, to be saved with the
  // simulation; refused (unreadable, with why) when one cannot be read or looked at, or when one
  // that this process did not change since it loaded or saved it differs from its saved file.
  AK_Read<std::vector<AK_Object*>> GroupsToSave();
  // Before a run: every object it reads but the simulation, saved where it differs from its saved
  // files or was never saved; "" when done, else why not, naming the object.
  AK_String SaveInputsToRun();
  bool _valuesSeenKnown = false;  // the saved values seen: the file's text and version
  AK_String _valuesSeenText;
  AK_FileVersion _valuesSeenVersion;
  int32_t _valuesSeenStamp = 0;
  // A save of the simulation into the directory copies its series there: the directory is not
  // the run directory it read or wrote.
  bool CopiesInto(const char* directory) override;
  // Its series and the saved values it saw, bound by a save elsewhere to the directory it copied into.
  std::function<void()> StateBeforeSaveElsewhere() override;
  // The save of the simulation into another project directory: one state of its run directory
  // (the series, the saved values and the record), read under the locks of both directories,
  // put whole in place of the target's (see SW_SeriesCopy).
  void CopyStateInto();
  // What the rules of its run directory need done by the simulation (see SW_RunDirectoryCalls).
  SW_RunDirectoryCalls RunDirectoryCalls();
  // The state at 0 s of a release set up anew (or, refused, of no particle): what a project
  // holds that has no time step to load.
  void HoldRelease();
  // See AfterLoad.
  void TakeStateOfRunThatIsGone();
  // The objects a run reads besides those below them (see InputDamage): the simulation, the objects
  // its references name as the state's digest counts them, the members of its groups and the
  // release-depth meshes of its areas; null where none is named. What the run saves before its
  // first step and compares with the disk.
  std::vector<AK_Object*> ObjectsARunReads();
  // The damage of what a run reads, in the order of the tree (see InputDamage), into `read`; a
  // WARNING for each other object loaded with errors (other simulations aside) into `elsewhere`
  // when given.
  void DamageInTree(AK_String& read, std::vector<AK_String>* elsewhere);
  // A run command whose run lock was refused (by the live process `refusedBy`, 0 for none):
  // the refusal of a background start that cannot take the lock handed to it, written as
  // WriteNotRun writes it.
  void NotRunWithoutLock(int refusedBy);
  // Pairs of a restart file name of the coupled flow above and its time, joined with
  // "%AK_SEP%"; the coupled solver writes it, this program never does.
  AK_String _fluidAboveRestartList;

  // By row of SW_ResultFields; the fields that are no components are owned here.
  AK_ObjectRef _resultFields[SW_ResultFieldCount];
  std::unique_ptr<AK_Object> _fieldsHeldAside[SW_ResultFieldCount];
  AK_WeakRef<SW_Particles> _particles;

  std::unique_ptr<SW_UserCode> _shearScript;
  ast_sci_prepared_call _shear;
  std::unique_ptr<SW_UserCode> _rheologyScript;
  ast_sci_prepared_call _tau;
  ast_sci_prepared_call _setPar;
  ast_sci_prepared_call _getPar;
  ast_sci_prepared_call _entrainmentEnergyLoss;
  // Why the rheology file of the user law did not load (not found, not opened, syntax, no
  // "tau", a failed "init"); kept until the law is chosen again or a file loads, whatever
  // formula is compiled meanwhile. It is the reason a run is refused, before any other.
  AK_String _lawFileFault;
  // Otherwise, why the user law may be left with no function: set where "tau" or "shear" is
  // lost without a file failing, cleared when one becomes usable.
  AK_String _userLawFault;
  // The absolute path of the rheology file last given to the user law (see
  // StoredRheologyFile), and whether "FrictionType" gave it by its name.
  AK_String _lawFile;
  bool _lawFileNamedByType = false;
};
