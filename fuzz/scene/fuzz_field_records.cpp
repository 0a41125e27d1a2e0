// The records of a time-step file read from any bytes: the mass, velocity and flag records
// of a set of three particles, in the order a reader reads them. A record either gives
// exactly one entry per particle (the flags: also none) or fails and leaves its array empty
// (the flags: as they were).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SW_Mesh.h"
#include "SW_Particles.h"
#include "SW_ScalarField.h"
#include "SW_VectorField.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  const std::string file = FuzzScratchDirectory("fuzz_field_records") + "/step.dat";
  FuzzWriteFile(file, std::string(reinterpret_cast<const char*>(data), size));
  SW_Particles particles("Particles", nullptr);
  particles.PositionSet().SetNumVertices(3);
  particles.Rebind();
  const int32_t n = 3;
  AK_STREAM stream(file.c_str(), "rb");
  if (particles.MassField().ReadRecord(stream) == 0 ? particles.Masses().Size() != n
                                                     : particles.Masses().Size() != 0)
    __builtin_trap();
  if (particles.VelocityField().ReadRecord(stream) == 0 ? particles.Velocities().Size() != n
                                                          : particles.Velocities().Size() != 0)
    __builtin_trap();
  particles.ReadRecord(stream);
  if (particles._flags.Size() != 0 && particles._flags.Size() != n) __builtin_trap();
  return 0;
}
