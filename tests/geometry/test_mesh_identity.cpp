// The meshes that the grid reader, the neighbour table and the triangulations build must
// stay bit for bit what they are: cells in the same order, the same neighbour table,
// vertices, normals, messages and the shared generator's state afterwards. Stored files,
// scripts that address cells by number and simulations that repeat from a seed rely on
// it. Each case hashes everything it built and compares with the hash of a known-good build.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "AK_Predicates.h"
#include "SW_MeshFiles.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

// 64-bit FNV-1a over raw bytes.
class Hash {
public:
  void Bytes(const void* data, size_t size)
  {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) _h = (_h ^ p[i]) * 1099511628211ull;
  }
  template <class T>
  void Array(const AK_Array<T>& a)
  {
    int32_t n = a.Size();
    Bytes(&n, sizeof n);
    Bytes(a._elems, sizeof(T) * static_cast<size_t>(n));
  }
  uint64_t Value() const { return _h; }

private:
  uint64_t _h = 14695981039346656037ull;
};

// The message without a closing timing " in <seconds>s", which differs from run to run.
std::string WithoutTiming(const std::string& text)
{
  size_t at = text.rfind(" in ");
  if (at == std::string::npos || text.back() != 's') return text;
  char* end = nullptr;
  std::strtod(text.c_str() + at + 4, &end);
  return end == text.c_str() + text.size() - 1 ? text.substr(0, at) : text;
}

// Everything a mesh build leaves behind; the generator's next number stands for its state.
uint64_t MeshHash(const SW_MeshCore& m, const MessageCapture& capture)
{
  Hash h;
  h.Array(m._x);
  h.Array(m._lcv);
  h.Array(m._lcc);
  h.Array(m._vertexNormals);
  h.Array(m._segments);
  for (const std::string& message : capture.messages) {
    std::string text = WithoutTiming(message);
    h.Bytes(text.data(), text.size() + 1);
  }
  int next = AK_Random();
  h.Bytes(&next, sizeof next);
  return h.Value();
}

// Uniform points, points of an integer lattice (co-circular quadruples, points on edges)
// and exact duplicates (refused).
void ScatteredPoints(SW_MeshCore& m, int32_t n)
{
  Rng rng(7);
  m.ClearGeometry();
  for (int32_t i = 0; i < n; ++i) {
    if (i % 5 == 0)
      m._x.Append(AK_Vec3(double(rng.Next() % 150), double(rng.Next() % 150), i));
    else if (i % 997 == 0)
      m._x.Append(m._x[i / 2]);
    else
      m._x.Append(AK_Vec3(rng.Uniform(0, 1000), rng.Uniform(0, 1000), rng.Uniform(0, 50)));
  }
}

// An ESRI grid of ncols x nrows with smooth heights; with holes, NODATA squares.
std::string GridText(int ncols, int nrows, bool holes)
{
  std::string text = "ncols " + std::to_string(ncols) + "\nnrows " + std::to_string(nrows) +
                     "\nxllcorner 1000\nyllcorner 2000\ncellsize 2.5\nNODATA_value -9999\n";
  char value[32];
  for (int r = nrows - 1; r >= 0; --r) {
    for (int c = 0; c < ncols; ++c) {
      bool hole = holes && (c / 16 + r / 16) % 5 == 0 && c % 16 < 9 && r % 16 < 7;
      double z = hole ? -9999.0 : 300 + 0.37 * c - 0.21 * r + (c * r % 17);
      std::snprintf(value, sizeof value, "%.2f ", z);
      text += value;
    }
    text += '\n';
  }
  return text;
}

void ReadGrid(SW_MeshCore& m, const std::string& text, int halvings)
{
  SW_TokenReader in(text.data(), text.size());
  AK_String error;
  ASSERT_TRUE(SW_ReadAsciiGridFrom(m, in, "grid", halvings, 0, error)) << error.c_str();
}

// Cells of random corners and orientation: edges met twice in the same direction, and by
// three or more cells, test which record of a hash bucket matches first.
void CellSoup(SW_MeshCore& m)
{
  Rng rng(11);
  m.ClearGeometry();
  for (int32_t v = 0; v < 3000; ++v) m._x.Append(AK_Vec3(rng.Uniform(0, 1), rng.Uniform(0, 1), 0));
  for (int32_t c = 0; c < 40000; ++c) {
    int32_t a = static_cast<int32_t>(rng.Next() % 3000);
    int32_t b = static_cast<int32_t>((a + 1 + rng.Next() % 40) % 3000);
    int32_t d = static_cast<int32_t>((b + 1 + rng.Next() % 40) % 3000);
    if (c % 3 == 0)
      AddCell(m, a, b, d, static_cast<int32_t>((d + 1 + rng.Next() % 40) % 3000));
    else
      AddCell(m, a, b, d);
  }
  m.ComputeConnectivity();
}

void BreakLines(SW_MeshCore& m)
{
  ScatteredPoints(m, 3000);
  AK_Array<AK_NamedPolyline> lines;
  Rng rng(5);
  for (int l = 0; l < 4; ++l) {
    AK_NamedPolyline line;
    for (int i = 0; i < 12; ++i)
      line.points.Append(AK_Vec3(rng.Uniform(0, 1000), rng.Uniform(0, 1000), 7));
    lines.Append(line);
  }
  AK_String error;
  m.TriangulateWithBreakLines(lines, 1, error);
}

}  // namespace

TEST(MeshIdentity, BuildsRepeatBitForBit)
{
  using Build = std::function<void(SW_MeshCore&)>;
  struct Case { const char* name; Build build; uint64_t hash; };
  const Build points = [](SW_MeshCore& m) { ScatteredPoints(m, 100000); m.TriangulatePoints(); };
  const Build holes = [](SW_MeshCore& m) { ReadGrid(m, GridText(301, 257, true), 0); };
  const Build halved = [](SW_MeshCore& m) { ReadGrid(m, GridText(203, 330, false), 1); };
  const Case cases[] = {
      {"scattered points", points, 0xd1d9678442acbb82},
      {"grid with holes", holes, 0x07427808722370dc},
      {"grid halved", halved, 0x4b56ee92e937350a},
      {"cell soup", CellSoup, 0xa3e2c1b1fbe64ffe},
      {"break lines", BreakLines, 0xe1fbae3990125c69},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    SW_MeshCore mesh;
    MessageCapture capture;
    AK_SeedRandom(1);
    tc.build(mesh);
    const uint64_t hash = MeshHash(mesh, capture);
    EXPECT_EQ(hash, tc.hash) << std::hex << "0x" << hash;
  }
}

// The remainder without division that the neighbour table and the shuffle take: equal to
// the division's over the whole 32-bit range, divisors from 1 to the largest.
TEST(MeshIdentity, FastModuloMatchesDivision)
{
  Rng rng(3);
  std::vector<uint32_t> divisors = {1, 2, 3, 13, 142867, 571439, 2147483647u, 4294967295u};
  for (int i = 0; i < 200; ++i)
    divisors.push_back(static_cast<uint32_t>(rng.Next() >> (32 + i % 32)) | 1);
  for (uint32_t d : divisors) {
    const AK_FastModulo mod(d);
    for (uint32_t x : {0u, 1u, d - 1, d, d + 1, 2147483647u, 4294967295u})
      ASSERT_EQ(mod(x), x % d) << x << " mod " << d;
    for (int i = 0; i < 2000; ++i) {
      const uint32_t x = static_cast<uint32_t>(rng.Next());
      ASSERT_EQ(mod(x), x % d) << x << " mod " << d;
    }
  }
}
