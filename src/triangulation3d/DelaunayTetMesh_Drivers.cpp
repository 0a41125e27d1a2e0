// Test drivers of the tetrahedral mesh: generated points into the unit box, with speed and
// correctness figures on standard output.
#include <ctime>
#include <iostream>
#include <string>

#include "AK_Message.h"
#include "AK_Predicates.h"
#include "AK_Random.h"
#include "DelaunayTetMesh.h"

namespace {

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

void ResetCounters()
{
  AK_OrientTestCounter = 0;
  AK_InSphereTestCounter = 0;
  AK_InSphereRefineCounter = 0;
  AK_TetsSearchedCounter = 0;
}

}  // namespace

bool DelaunayTetMesh::RandomTest(int32_t n)
{
  ResetCounters();
  AK_SeedRand15(1);  // the same points on every run
  DelaunayTetMesh mesh;
  if (!mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), n)) return false;
  const double t0 = CpuSeconds();
  for (int32_t i = 0; i < n; ++i) {
    double x = (AK_Rand15() % 99000 + 1000) / 100000.0;
    double y = (AK_Rand15() % 99000 + 1000) / 100000.0;
    double z = (AK_Rand15() % 99000 + 1000) / 100000.0;
    mesh.InsertPoint(AK_Vec3(x, y, z));
    if (i % 10000 == 0) AK_MESSAGE((std::to_string(i) + " inserted").c_str());
  }
  mesh._nActive = mesh._t.Size();
  mesh.PrintTestSummary(t0);
  return true;
}

bool DelaunayTetMesh::GridLayerTest(int32_t n)
{
  ResetCounters();
  DelaunayTetMesh mesh;
  if (!mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), int64_t(n) * n * n)) return false;
  const int32_t step = n > 0 ? static_cast<int32_t>(98000.0 / n) : 0;
  const double t0 = CpuSeconds();
  for (int32_t layer = 0; layer < n; ++layer) {
    AK_MESSAGE(("grid layer " + std::to_string(layer)).c_str());
    const double x = (10 + layer * step) / 100000.0;
    for (int32_t j = 0; j < n; ++j)
      for (int32_t k = 0; k < n; ++k)
        mesh.InsertPoint(AK_Vec3(x, (10 + j * step) / 100000.0, (10 + k * step) / 100000.0));
  }
  mesh._nActive = mesh._t.Size();
  mesh.PrintTestSummary(t0);
  return true;
}

void DelaunayTetMesh::PrintTestSummary(double t0) const
{
  std::ostream& out = std::cout;
  const double perPoint = NumNodes() + 0.1;
  out << CpuSeconds() - t0 << " s CPU time" << std::endl;
  out << NumNodes() << " nodes." << std::endl;
  out << _nActive << " tets." << std::endl;
  out << AK_TetsSearchedCounter / perPoint << " tets searched per point" << std::endl;
  out << AK_OrientTestCounter / perPoint << " above-tests per point" << std::endl;
  out << AK_InSphereTestCounter / perPoint << " in-sphere-tests per point" << std::endl;
  out << AK_InSphereRefineCounter / (AK_InSphereTestCounter + 0.1)
      << " in-sphere-test-refinements" << std::endl;
  out << CountWrongConnections() << " wrong connections." << std::endl;
  out << CountNegativeVolumeTets() << " negative volume tets." << std::endl;
  out << CountPointsInSpheres() << " points in spheres." << std::endl;
}

void ReadDurnixFormats()
{
  constexpr int kDurnixReaderLine = 1830;  // the location users know the warning by
  AK_Message("WARNING: reading Durnix formats not supported!", "AK_Triangulation", kDurnixReaderLine);
}

int WriteDurnixFormats()
{
  AK_MESSAGE("WARNING: writing Durnix formats not supported!");
  return 1;
}
