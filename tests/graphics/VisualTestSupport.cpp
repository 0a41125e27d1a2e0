#include "VisualTestSupport.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "AK_Ppm.h"

namespace {
// The table is constant-initialised, so this copy sees the defaults.
const AK_GLFunctions gDefaultTable = AK_GLFunctionTable;
}  // namespace

const AK_GLFunctions& DefaultGLTable() { return gDefaultTable; }

void VisualTest::SetUp() {
  AK_GLFunctionTable = gDefaultTable;
  soglResetState();
}

void VisualTest::TearDown() {
  AK_GLFunctionTable = gDefaultTable;
  soglResetState();
}

void RenderTest::Start(int width, int height) {
  soglInstall();
  ASSERT_EQ(soglResize(width, height), 0);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

RenderTest::Rgb RenderTest::Pixel(int x, int y) {
  const int i = soglPixelIndex(x, y);
  return {soglRed[i], soglGreen[i], soglBlue[i]};
}

int RenderTest::Depth(int x, int y) { return soglDepth[soglPixelIndex(x, y)]; }

int RenderTest::LitCount() {
  int n = 0;
  for (uint32_t i = 0; i < soglWidth * soglHeight; ++i)
    if (soglRed[i] || soglGreen[i] || soglBlue[i]) ++n;
  return n;
}

std::string TestTempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("torvu_visual_" + std::to_string(::getpid()) + "_" +
                               info->test_suite_name() + "_" + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

int WriteFramebufferPpm(const std::string& path) {
  int w = 0, h = 0;
  GLubyte *r = nullptr, *g = nullptr, *b = nullptr;
  soglGetFramebuffer(w, h, r, g, b);
  if (!r) return -1;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int i = 0; i < w * h; ++i) {
    rgb[3 * i] = r[i];
    rgb[3 * i + 1] = g[i];
    rgb[3 * i + 2] = b[i];
  }
  return WritePpm(path.c_str(), w, h, 8, rgb.data());
}
