// The time-step file read from any bytes (stored compressed, as the writer stores them): tag
// lengths are never trusted, unknown tags are skipped, and a load that fails hands back the
// header it was given.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SW_TimeStepFile.h"

namespace {

// A record of at most 64 floats, as the particle and field records hold counted arrays.
struct Records : SW_TimeStepRecords {
  int WriteRecord(const char*, AK_STREAM&) override { return 1; }
  int ReadRecord(const char*, AK_STREAM& stream) override
  {
    int32_t n = -1;
    stream >> n;
    if (stream.Fail() || n < 0 || n > 64) return 1;
    float values[64];
    return AK_StreamReadFloats(stream, values, n) == n ? 0 : 1;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  FuzzSetUpOnce();
  const std::string directory = FuzzScratchDirectory("fuzz_timestep_file");
  {
    AK_STREAM out((directory + "/input.TimeStep").c_str(), "wb");
    out.PutRaw(data, int64_t(size));
    AK_StreamClose(out);
  }
  Records records;
  SW_TimeStepHeader header{-1, -2};
  SW_TimeStepLoadResult result = SW_LoadTimeStepFile(directory.c_str(), "input", header, records, "/Sim");
  if (result != SW_TimeStepLoadResult::Loaded && (header.currentTime != -1 || header.peakKineticEnergy != -2))
    __builtin_trap();
  return 0;
}
