// Speed of the software renderer's rasterisers and of the PPM reader.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "AK_GLHelpers.h"
#include "AK_Ppm.h"
#include "AK_sogl.h"

namespace {

void Setup(int w, int h) {
  soglInstall();
  soglResize(w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Random triangles of about a hundredth of the view each, depth test on.
void BM_FilledTriangles(benchmark::State& state) {
  Setup(1024, 768);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-1, 1), d(-0.1f, 0.1f);
  std::vector<float> v(3000 * 9);
  for (size_t i = 0; i < v.size(); i += 3) {
    if (i % 9 == 0) {
      v[i] = u(rng);
      v[i + 1] = u(rng);
    } else {
      v[i] = v[i - 3 * ((i % 9) / 3)] + d(rng);
      v[i + 1] = v[i + 1 - 3 * ((i % 9) / 3)] + d(rng);
    }
    v[i + 2] = u(rng);
  }
  for (auto _ : state) {
    glBegin(GL_TRIANGLES);
    for (size_t i = 0; i < v.size(); i += 3) {
      glColor3f(0.5f, 0.5f, v[i + 2] * 0.5f + 0.5f);
      glVertex3f(v[i], v[i + 1], v[i + 2]);
    }
    glEnd();
  }
  state.SetItemsProcessed(state.iterations() * 3000);
}
BENCHMARK(BM_FilledTriangles)->Unit(benchmark::kMillisecond);

// Lines across the whole view, 3 pixels wide.
void BM_WideLines(benchmark::State& state) {
  Setup(1024, 768);
  glLineWidth(3);
  for (auto _ : state) {
    glBegin(GL_LINES);
    for (int i = 0; i < 1000; ++i) {
      const float y = i / 500.0f - 1;
      glVertex2f(-1, y);
      glVertex2f(1, -y);
    }
    glEnd();
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_WideLines)->Unit(benchmark::kMillisecond);

// A lit sphere of 64 by 32 quads filling most of the view.
void BM_LitSphere(benchmark::State& state) {
  Setup(1024, 768);
  glEnable(GL_LIGHTING);
  const float light[4] = {1, 1, 1, 0};
  glLightfv(GL_LIGHT0, GL_POSITION, light);
  for (auto _ : state) glutSolidSphere(0.9, 64, 32);
}
BENCHMARK(BM_LitSphere)->Unit(benchmark::kMillisecond);

void BM_ReadPpm(benchmark::State& state) {
  const int w = 1024, h = 768;
  std::vector<unsigned char> px(size_t(w) * h * 3, 90);
  const std::string path = "/tmp/torvu_bench_visual.ppm";
  WritePpm(path.c_str(), w, h, 8, px.data());
  for (auto _ : state) {
    int rw, rh, depth;
    unsigned char* data = nullptr;
    if (ReadPpm(path.c_str(), rw, rh, depth, data) != 0) state.SkipWithError("read failed");
    std::free(data);
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(state.iterations() * int64_t(px.size()));
}
BENCHMARK(BM_ReadPpm)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
