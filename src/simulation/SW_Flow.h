// The dense-flow particle model as plain functions over plain data. A run keeps its whole
// state in one SW_FlowRun: the mesh, the parameters the phases read, the per-cell arrays, the
// sources, the result fields, the particles with their work columns, the neighbour grid, the
// worker threads and the report of the last step. It names no object of the tree: what it
// needs of the scene (source lines, release, entrainment and resistance areas, walls)
// arrives through the small interfaces below; the simulation's run fills it and lends it
// the arrays (SW_SimulationRun). Tests and benchmarks drive the phases alone.
//
// Numbers: masses, enthalpies, depths and most per-particle scalars are stored as 32-bit
// floats, positions, velocities and forces as doubles; arithmetic is in doubles and the
// places where a value is rounded to float are part of the model (runs repeat bit for bit).
//
// Files: SW_FlowStep (the step and its bookkeeping phases, the state check), SW_FlowForces
// (body forces, friction laws, entrainment, drag), SW_FlowLateral (lateral forces),
// SW_FlowMotion (position update, wall reflection), SW_FlowFields (field binding and update),
// SW_FlowSources (source lines, point source), SW_FlowGrid (neighbour grid), SW_FlowSetup
// (release and cell set-up before a run), SW_FlowWorkers (threads).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

#include "AK_Basic.h"
#include "SW_FieldMath.h"
#include "SW_FlowTables.h"
#include "SW_FlowWorkers.h"
#include "SW_MeshCore.h"
#include "SW_ParticleStore.h"

// Gravity, m/s², the same everywhere in the model.
inline const AK_Vec3 SW_Gravity(0, 0, -SW_GravityAcceleration);

// The unit vector along a, and a divided by s component by component (as the model's
// formulas divide a vector by a number).
inline AK_Vec3 SW_Unit(const AK_Vec3& a) { return a * (1.0 / a.Length()); }
inline AK_Vec3 SW_Over(const AK_Vec3& a, double s) { return AK_Vec3(a.x / s, a.y / s, a.z / s); }

// What a user friction law sees; the law answers the bottom shear stress (N/m²).
struct SW_FrictionArgs {
  double p = 0;       // bottom pressure, N/m²
  double u = 0;       // speed, m/s
  double h = 0;       // flow depth, m
  double rho = 0;     // density
  double t = 0;       // time, s
  AK_Vec3 x;          // position
  AK_Vec3 n;          // averaged unit surface normal
  double e = 0;       // internal enthalpy, J/kg
};
// A user law: a function with its context (the compiled script). Absent: tau is 0. A law
// that answers no finite number stops the run; `failure`, when given, tells why the last call
// on this thread answered none ("" when the law itself answered it).
using SW_UserLawFailure = const char* (*)(void* context);
struct SW_UserFrictionLaw {
  double (*tau)(void* context, const SW_FrictionArgs& args) = nullptr;
  void* context = nullptr;
  AK_String name;  // named in the error text when the law answers no finite number
  SW_UserLawFailure failure = nullptr;
};
// The energy a user law takes from entrained snow per swept area (J/m²).
struct SW_EntrainmentLossArgs {
  SW_FrictionArgs f;
  double tau = 0, q = 0, es = 0, ed = 0;
};
struct SW_EntrainmentLossLaw {
  double (*loss)(void* context, const SW_EntrainmentLossArgs& args) = nullptr;
  void* context = nullptr;
  SW_UserLawFailure failure = nullptr;
};

struct SW_FlowParameters {
  double density = SW_FlowDefault::density;                        // rho, kg/m³
  double dynamicFriction = SW_FlowDefault::dynamicFriction;        // cd
  double subgridMixing = SW_FlowDefault::subgridMixing;            // C
  double curvatureReduction = SW_FlowDefault::curvatureReduction;  // kappa
  double entrainmentShear = 0;                                     // es, J/m²
  double entrainmentDeformation = 0;                               // ed, J/kg
  double entrainmentErosion = 0;                                   // eb, J/kg
  double restitution = SW_FlowDefault::restitution;                // e
  double massPerParticle = SW_FlowDefault::massPerParticle;        // kg
  double bedFrictionAngle = SW_FlowDefault::bedFrictionAngle;      // degrees
  double internalFrictionAngle = SW_FlowDefault::internalFrictionAngle;  // degrees
  double breakLinesAngle = 0;           // degrees of the mesh; <= 0.1: no test
  double resolution = 5;                // the mesh's "Resolution"
  int frictionLaw = SW_FrictionClassic;
  int sphMode = 0;
  int averagedSpeed = 0;                // "$compat" "v2017"
  int bottomPressure = 1;               // SphMode 0 or an interaction with a fluid above
  double sphDiffusion = 0;              // D
  int sphDiffusionImplicit = 0;
  double cohesion = 0;                  // sigma
  int verbose = 0;                      // "$sph_verbose" (SphMode != 0); above 1 the lateral
                                        // forces sample every 1000th particle
  SW_UserFrictionLaw userLaw;
  SW_EntrainmentLossLaw entrainmentLoss;
  // The user laws' context for each worker (SW_FlowWorkers::Index): instances of the compiled
  // scripts made when the run starts, which `lawOwner` keeps. With fewer than the step's
  // threads, a phase that calls a user law runs on one thread with the laws' own contexts.
  AK_Array<void*> lawContexts;
  std::shared_ptr<const void> lawOwner;
  // Threads for the phases whose per-particle (or per-vertex) results depend only on the
  // state at the phase start (forces, motion, the neighbour grid) and for the sums onto
  // vertices and cells, each target summed by one thread in the particles' order; results
  // are the same with any count.
  int threads = 1;
  // The most particles the run may hold, as many as a release may make: sources and splits
  // beyond it stop the run.
  int64_t maxParticles = SW_MaxParticles;
};

// A resistance area as the drag reads it.
struct SW_FlowResistance {
  double height = 1, width = 1, spacing = 1, coefficient = 1;
};

// A resistance area as the set-up reads it: its outline and its obstacles.
class SW_FlowResistanceArea {
public:
  virtual ~SW_FlowResistanceArea() = default;
  virtual bool Contains(double x, double y) const = 0;
  virtual SW_FlowResistance Drag() const = 0;
};

// A release or entrainment area as the set-up reads it: its outline, its snow's depth at a
// point with the unit terrain normal there, density (kg/m³) and enthalpy (J/kg), and the
// name an error text gives it.
class SW_FlowSnowArea {
public:
  virtual ~SW_FlowSnowArea() = default;
  virtual bool Contains(double x, double y) const = 0;
  virtual double DepthAt(const AK_Vec3& x, const AK_Vec3& normal) const = 0;
  virtual double Density() const = 0;
  virtual double Enthalpy() const = 0;
  virtual const char* Name() const = 0;
};

// A wall line as the marks and the reflection read it: its path over the terrain, and
// whether and where a particle's way crosses its foot (active when it has no heights or its
// first is > 0).
class SW_FlowWall {
public:
  virtual ~SW_FlowWall() = default;
  virtual const AK_Array<AK_Vec3>& Path() const = 0;
  virtual bool Active() const = 0;
  virtual int Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& top,
                        AK_Vec3& direction) const = 0;
};

// A source line as the step reads it, once mapped onto the run's mesh: the cells it
// crosses, the mass it lets into each during a step of dt, and where along its piece in a
// cell the particle at fraction t in [0, 1) starts.
class SW_FlowSourceLine {
public:
  virtual ~SW_FlowSourceLine() = default;
  virtual int32_t CellCount() const = 0;
  virtual int32_t CrossedCell(int32_t k) const = 0;
  virtual float MassInCell(int32_t k, float dt) const = 0;
  virtual AK_Vec2 PointInCell(int32_t k, float t) const = 0;
};

// Per-cell arrays of a run.
struct SW_FlowCells {
  AK_Array<int32_t> resistance;           // index into `resistances`, -1 none; empty: none at all
  AK_Array<SW_FlowResistance> resistances;
  AK_Array<int32_t> wallMark;             // 0, or the wall's position + 1; empty: no walls
  AK_Array<const SW_FlowWall*> walls;     // belong to the caller

  // Whether the arrays are empty or of this mesh, and refer only to areas and walls that
  // exist; 0 with an error text otherwise.
  int Check(const SW_MeshCore& mesh, AK_String& error) const;
};

// The result fields: per vertex, except the two entrainment arrays (per cell).
struct SW_FlowFields {
  AK_Array<float> flowDepth, peakPressure, peakForce, peakTorque, peakDepth, frontArrival;
  AK_Array<float> bottomPressure;
  AK_Array<AK_Vec3> velocity;
  AK_Array<float> entrainmentMass, entrainmentEnthalpy;

  // Sizes every per-vertex array to the mesh's vertices (zeros) and the per-cell arrays to
  // its cells (zeros).
  void Bind(const SW_MeshCore& mesh);
  // Whether the fields that the field update writes hold one value per vertex of the mesh.
  int CheckResults(const SW_MeshCore& mesh, AK_String& error) const;
  // The same, and the bottom pressure per vertex and the entrainment fields per cell (or
  // both unbound), as a time step needs them.
  int Check(const SW_MeshCore& mesh, AK_String& error) const;
  // Whether some cell holds snow that particles could entrain.
  bool HoldsSnow() const;
};

// A particle as its neighbours see it, in the grid's order.
struct SW_GridPoint {
  double x = 0, y = 0, m = 0;
};

// The neighbour grid of the smoothed-particle method.
struct SW_FlowGrid {
  double x0 = 0, y0 = 0, size = 1;
  int32_t nx = 0, ny = 0;
  AK_Array<int32_t> start, sorted;
  AK_Array<int32_t> bucket;  // each particle's bucket while the grid is built
  // Position and mass of sorted[k] at k, so that a neighbour search reads memory in order.
  AK_Array<SW_GridPoint> points;

  // Sizes the grid over the box with buckets of `radius`, larger when the box would need
  // more than `maxBuckets`, sorts the particles into it and gathers their points; the
  // per-particle passes on `workers` when given. Answers 0 (no grid to read) when the memory
  // for the particles' entries cannot be had.
  int Build(const SW_MeshCore& mesh, const SW_ParticleStore& p, double radius,
             int64_t maxBuckets, SW_FlowWorkers* workers = nullptr);
  // Gathers the points again (after the masses changed; the positions must not have; Build
  // made the room).
  void Gather(const SW_ParticleStore& p, SW_FlowWorkers* workers = nullptr);
  int32_t Column(double x) const;  // clamped to the grid
  int32_t Row(double y) const;
};

// Snow entering the run: the source lines (mapped onto the mesh before the run) and the
// point source of the object variables "$source_...".
struct SW_PointSource {
  int on = 0;
  double strength = 0, duration = 0, radius = 0, x = 0, y = 0, speed = 0, azimuth = 0;
};
struct SW_FlowSources {
  AK_Array<const SW_FlowSourceLine*> lines;  // belong to the caller
  SW_PointSource point;
};

// What a step reports; the simulation turns it into messages.
struct SW_FlowStepReport {
  double entrained = 0;
  double total = 0;
  double sourceMass = 0;
  int32_t sourceCount = 0;
  int32_t removed = 0;
  AK_Array<int32_t> released;  // secondary release marks released in this step
  // With verbose above 1 in the smoothed-particle method: what the lateral forces found at
  // particles 0, 1000, 2000, ..., one entry each (particle -1 where a held one got nothing),
  // in particle order whatever thread computed it.
  struct SphSample {
    int32_t particle = -1;
    AK_Vec3 x;
    int32_t ix = 0, iy = 0;  // its column and row of the neighbour grid
    AK_Vec3 gradient;        // the negative flow-depth gradient G
  };
  AK_Array<SphSample> sph;
  // Processor clock ticks of the timed phases, for the step's verbose report.
  enum Phase { Grid, BodyForces, LateralForces, PositionUpdate, RemovalSplitting, FieldUpdate, Phases };
  std::clock_t clocks[Phases] = {};
  // Wall-clock seconds of the same phases (the processor clock sums over the threads).
  double seconds[Phases] = {};

  void Reset();  // zeros, keeping the capacity of `released`
};

// The whole state of a run between steps. The mesh belongs to the caller; everything else
// belongs to the run (the simulation lends its field and particle arrays, see
// SW_SimulationRun). Nothing here is reallocated from step to step except when the
// particles outgrow their columns.
struct SW_FlowRun {
  const SW_MeshCore* mesh = nullptr;
  SW_FlowParameters par;
  SW_FlowCells cells;
  SW_FlowSources sources;
  SW_FlowFields fields;
  SW_ParticleStore particles;
  SW_FlowGrid grid;
  SW_FlowWorkers workers;
  SW_FlowStepReport report;
  // Per cell, the factor by which the last body-force phase scaled its particles'
  // entrainment (below 1 where they asked for more snow than the cell held, which then gives
  // up all it has; negative where their demands together overflowed, see
  // SW_BodyForcesPhase); empty when no particle asked for any.
  AK_Array<double> entrainmentScale;
  // Per cell, the sums of the demands before the erosion energy divides them, for the cells
  // whose demands overflowed; empty unless a step met such a cell.
  AK_Array<double> entrainmentWorkSums;

  SW_FlowRun() = default;
  explicit SW_FlowRun(const SW_MeshCore& m) : mesh(&m) {}
};

// ---- set-up ------------------------------------------------------------------------------

// The mass-per-particle methods; an unknown text counts as direct.
struct SW_ParticleBudget {
  double massPerParticle = 0, deltaDepth = 0, perCell = 0;
  int32_t count = 0;
};
// Computes the four related numbers from release mass M over n release cells on a mesh of
// resolution dx; answers 0 and an error text when the result would be unusable (a mass
// per particle, count or density <= 0 or not finite, or more particles than the particle
// set makes).
int SW_ChooseParticleMass(const char* method, double M, int32_t n, double dx, double density,
                          SW_ParticleBudget& budget, AK_String& error);
// Scales the masses so they add up to M; answers the factor, or 0 (nothing changed) when
// there are no particles or no mass.
double SW_CorrectParticleMasses(AK_Array<float>& m, double M);
// Global entrainment layer of a cell centre at height z.
void SW_GlobalEntrainment(double z, double minZ, double weight, double temperature,
                          double gradient, float& mass, float& enthalpy);
double SW_SnowEnthalpy(double temperature);
// Marks the cells of `cells` and their edge neighbours with `mark`.
void SW_MarkCellsAndNeighbours(const SW_MeshCore& mesh, const AK_Array<int32_t>& cells,
                               int32_t mark, AK_Array<int32_t>& marks);

// The smoothed-particle kernel radius: the resolution divided by -SphMode when that is
// negative, else multiplied by it (0 for SphMode 0).
double SW_KernelRadius(const SW_FlowParameters& par);
// The most buckets a neighbour grid of buckets as wide as the kernel radius may have: its
// bucket starts (one more entry) are counted in 32 bits. The grid keeps its memory bounded by
// widening its buckets, but a radius beyond this count is far below any particle spacing.
constexpr double SW_MaxKernelGridBuckets = 2147483646.0;
// Why the smoothed-particle method cannot run on the mesh with this kernel radius: its grid
// over the mesh's x-y box would have more than SW_MaxKernelGridBuckets; "" when it can (and
// for SphMode 0, which has no grid).
AK_String SW_KernelGridFault(const SW_MeshCore& mesh, const SW_FlowParameters& par);

// Cell resistance areas: each cell refers to the last area that contains its centre.
void SW_MapResistanceAreas(const SW_MeshCore& mesh,
                           const AK_Array<const SW_FlowResistanceArea*>& areas, SW_FlowCells& cells);
// Wall marks: the cells crossed by each wall's path and their edge neighbours get the wall's
// position + 1 (a later wall wins), and `walls` refers to the walls. Marks are 32-bit, so any
// number of walls can be told apart. Answers the number of marked cells.
int32_t SW_MarkWallCells(const SW_MeshCore& mesh, const AK_Array<const SW_FlowWall*>& walls,
                         SW_FlowCells& cells);
// Entrainable snow per cell: the global layer, then the last entrainment area containing
// the centre, else a positive depth of the raster (may be null).
struct SW_EntrainmentSettings {
  double weight = 0, minZ = 0, temperature = 0, gradient = 0, rasterDensity = 200;
};
void SW_InitEntrainment(const SW_MeshCore& mesh, const AK_Array<const SW_FlowSnowArea*>& areas,
                        const SW_MeshCore* raster, const SW_EntrainmentSettings& s,
                        SW_FlowFields& fields);
// Release depth (at `density`), enthalpy and secondary marks per cell: areas from the
// last to the first (the first `primary` are primary, the rest secondary), else the raster
// (depth >= 0, temperature given). Adds the raster's mass to M and answers the number of
// release cells, or -1 with an error text when the secondary areas are too many to mark or
// a cell's depth is not a finite number >= 0 (a formula without a number, a negative depth
// or density, a density that overflows the depth).
struct SW_ReleaseCells {
  AK_Array<float> depth, enthalpy;
  AK_Array<uint8_t> marks;  // empty without secondary areas
  AK_Array<double> areaMass;  // per area: the mass its cells on the mesh hold, kg
  int32_t secondaryCells = 0;
};
int32_t SW_ComputeReleaseDepths(const SW_MeshCore& mesh, const AK_Array<const SW_FlowSnowArea*>& areas,
                                int32_t primary, const SW_MeshCore* raster, double rasterDensity,
                                double rasterTemperature, double density, double& M,
                                SW_ReleaseCells& out, SW_FlowFields& fields, AK_String& error);

// ---- the phases of a step -----------------------------------------------------------------
// Each works on particles [first, end) of run.particles; the work columns are sized.

double SW_ParticleInternalEnthalpy(const SW_ParticleStore& p, int32_t i);
// Body forces, friction and entrainment: reads the fields, the cells and the particles'
// state; writes their velocity, mass, enthalpy and every work column but the entrainment
// column. Each particle entrains as if it stood alone in its cell: its demand, but never more
// than the cell holds (a demand that overflows takes all of it). Answers 0, or 1 with the
// error text when a user law (friction or entrainment loss) answers no finite number or fails
// (the particles are then left as they were computed up to that particle; the run must stop).
int SW_ComputeBodyForces(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt,
                         AK_String& error);
// The body-force phase of a step over all particles, on the run's threads (with a user law
// only when it has a context per worker). With the entrainment column sized (SizeWork with
// `entraining`, as a step does where some cell holds snow), the particles on snow leave their
// entrainment for a second pass, once every demand on a cell is known: a cell that is asked
// for more than it holds gives up all of it, each particle taking its demand's share, and
// where the demands overflow (a tiny erosion energy) the share of the friction work it spends.
// Without the column the phase is SW_ComputeBodyForces on the threads. On a failure, the
// error of the lowest particle whose law failed.
int SW_BodyForcesPhase(SW_FlowRun& run, double t, double dt, AK_String& error);
// Lateral forces, mesh-field method (SphMode 0) or smoothed-particle method on the grid:
// reads the fields, the grid and the particles with the `depth`, `normal` and `weights` that
// the body forces left; adds to `force` (and, with diffusion, to `frictionCoefficient`, and
// sets the enthalpy terms).
void SW_ComputeLateralForces(SW_FlowRun& run, int32_t first, int32_t end, double dt);
// The earth-pressure coefficients of the mesh-field method from the stretching a1 along the
// flow and a2 across it (passive where compressed, active where stretched, 1 below the
// threshold), the particle's friction ratio and cos², tan² of the internal friction angle.
void SW_EarthPressure(double a1, double a2, double threshold, float ratio, double cos2,
                      double tan2, float& kx, float& ky);
// Motion: reads the forces and the enthalpy terms; writes position, cell, velocity and
// enthalpy (cell -1 once off the mesh), reflecting at active walls.
void SW_UpdatePositions(SW_FlowRun& run, int32_t first, int32_t end, double dt);
// The field update: flow depth, velocity, peaks and arrival from the particles. `weights`,
// when given, holds each particle's CellWeights in its cell (else they are computed here);
// `workers`, when given, share the vertices out, each vertex summing in the particles' order
// whatever thread owns it.
void SW_UpdateFields(const SW_MeshCore& mesh, double density, const SW_ParticleStore& p,
                     float t, SW_FlowFields& fields, const SW_CornerWeights* weights = nullptr,
                     SW_FlowWorkers* workers = nullptr);
// Adds the particles of the sources for the step starting at t: their mass and count (a point
// outside the mesh adds nothing and counts not). Answers 0, or 1 with the error text of
// SW_RoomForParticles when they do not fit (those added so far stay).
int SW_AddSourceParticles(SW_FlowRun& run, double t, double dt, double& mass, int32_t& count,
                          AK_String& error);
// Room for `more` particles beyond the run's count, within its bound and the memory. Answers
// 1, or 0 with the error text (the particles stay as they were).
int SW_RoomForParticles(SW_FlowRun& run, double more, AK_String& error);

// The least and the greatest corner of cell c (lo > hi for no cell), for the sums onto the
// vertices on the run's threads.
inline void SW_CornerSpan(const SW_MeshCore& mesh, int32_t c, int32_t& lo, int32_t& hi)
{
  if (c < 0) {
    lo = 0;
    hi = -1;
    return;
  }
  const AK_Index4& v = mesh._lcv[c];
  lo = v[0] < v[1] ? v[0] : v[1];
  hi = v[0] < v[1] ? v[1] : v[0];
  const int corners = mesh.CornerCount(c);
  for (int k = 2; k < corners; ++k) {
    if (v[k] < lo) lo = v[k];
    if (v[k] > hi) hi = v[k];
  }
}

// Whether the run's state belongs to its mesh (SW_FlowFields::Check, SW_FlowCells::Check,
// SW_ParticleStore::Check); answers 0 with an error text otherwise.
int SW_CheckFlowState(const SW_FlowRun& run, AK_String& error);
// What SW_ComputeTimeStep answers when the particles outgrew the run's bound or the memory:
// the run stops, its particles and fields as the phases before left them (every particle
// whole, the masses of the split ones kept).
constexpr int SW_StepOutOfParticles = 2;
// One step of all phases, from t to t + dt; the report goes to run.report. Answers 0, or 1
// with the error text when the run must stop (and then, when the state does not belong to
// the mesh, nothing was changed), or SW_StepOutOfParticles with the error text.
int SW_ComputeTimeStep(SW_FlowRun& run, double t, double dt, AK_String& error);
