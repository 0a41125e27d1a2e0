// Writing and reading 10^7 doubles through AK_STREAM against zlib's gzwrite/gzread directly,
// with the same file, compression level and zlib buffer, so the difference is the stream layer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "AK_Basic.h"

namespace {

constexpr int32_t kCount = 10000000;

const std::vector<double>& Data()
{
  static std::vector<double> data = [] {
    std::vector<double> d(kCount);
    for (int32_t i = 0; i < kCount; ++i) d[static_cast<size_t>(i)] = 1000.0 * std::sin(0.001 * i) + 0.5 * i;
    return d;
  }();
  return data;
}

std::string FilePath(const char* name) { return std::string("/tmp/torvu_bench_") + name + ".dat"; }

// The file the reading benchmarks read; false when it could not be written whole (a full /tmp),
// for a read of a short file would time nothing worth comparing.
bool WriteReference(const std::string& path)
{
  AK_STREAM s(path.c_str(), "wb");
  AK_StreamWriteDoubles(s, Data().data(), kCount);
  return AK_StreamClose(s) == 0;
}

void SetBytes(benchmark::State& state)
{
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kCount * 8);
}

void BM_Write_StreamPerItem(benchmark::State& state)
{
  const auto& d = Data();
  std::string path = FilePath("w_items");
  for (auto _ : state) {
    AK_STREAM s(path.c_str(), "wb");
    for (int32_t i = 0; i < kCount; ++i) s << d[static_cast<size_t>(i)];
    if (AK_StreamClose(s)) state.SkipWithError("write failed");
  }
  SetBytes(state);
  std::remove(path.c_str());
}

void BM_Write_StreamBulk(benchmark::State& state)
{
  std::string path = FilePath("w_bulk");
  for (auto _ : state) {
    AK_STREAM s(path.c_str(), "wb");
    AK_StreamWriteDoubles(s, Data().data(), kCount);
    if (AK_StreamClose(s)) state.SkipWithError("write failed");
  }
  SetBytes(state);
  std::remove(path.c_str());
}

void BM_Write_GzwriteBulk(benchmark::State& state)
{
  std::string path = FilePath("w_gz");
  for (auto _ : state) {
    gzFile f = gzopen(path.c_str(), "wb");
    gzbuffer(f, 1u << 17);
    gzwrite(f, Data().data(), static_cast<unsigned>(kCount * sizeof(double)));
    if (gzclose(f) != Z_OK) state.SkipWithError("write failed");
  }
  SetBytes(state);
  std::remove(path.c_str());
}

void BM_Read_StreamPerItem(benchmark::State& state)
{
  std::string path = FilePath("r");
  if (!WriteReference(path)) state.SkipWithError("the file to read could not be written");
  for (auto _ : state) {
    AK_STREAM s(path.c_str(), "rb");
    double sum = 0, v = 0;
    for (int32_t i = 0; i < kCount; ++i) {
      s >> v;
      sum += v;
    }
    if (s.Fail()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(sum);
  }
  SetBytes(state);
  std::remove(path.c_str());
}

void BM_Read_StreamBulk(benchmark::State& state)
{
  std::string path = FilePath("r");
  if (!WriteReference(path)) state.SkipWithError("the file to read could not be written");
  std::vector<double> out(kCount);
  for (auto _ : state) {
    AK_STREAM s(path.c_str(), "rb");
    if (AK_StreamReadDoubles(s, out.data(), kCount) != kCount) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state);
  std::remove(path.c_str());
}

void BM_Read_GzreadBulk(benchmark::State& state)
{
  std::string path = FilePath("r");
  if (!WriteReference(path)) state.SkipWithError("the file to read could not be written");
  std::vector<double> out(kCount);
  for (auto _ : state) {
    gzFile f = gzopen(path.c_str(), "rb");
    gzbuffer(f, 1u << 17);
    int got = gzread(f, out.data(), static_cast<unsigned>(kCount * sizeof(double)));
    gzclose(f);
    if (got != static_cast<int>(kCount * sizeof(double))) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state);
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_Write_GzwriteBulk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Write_StreamBulk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Write_StreamPerItem)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read_GzreadBulk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read_StreamBulk)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Read_StreamPerItem)->Unit(benchmark::kMillisecond)->Iterations(3);
