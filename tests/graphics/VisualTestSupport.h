// Shared pieces of the visual tests: a clean graphics table and renderer per
// test, pixel access, and a frame-buffer dump for a person to look at.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "AK_GLFunctionTable.h"
#include "AK_sogl_State.h"

// The table as it was at program load, before any test touched it.
const AK_GLFunctions& DefaultGLTable();

// Every test starts with the default table and the renderer's load-time state.
class VisualTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A renderer installed into the table, with a frame buffer of the given size,
// identity matrices and a black, far-cleared buffer.
class RenderTest : public VisualTest {
 protected:
  void Start(int width, int height);
  struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  };
  static Rgb Pixel(int x, int y);
  static int Depth(int x, int y);
  // Number of pixels that differ from black.
  static int LitCount();
};

// A fresh, empty temporary directory for one test.
std::string TestTempDir();

// Writes the renderer's planes as an 8-bit PPM image (top row first in the file).
// Returns WritePpm's result.
int WriteFramebufferPpm(const std::string& path);
