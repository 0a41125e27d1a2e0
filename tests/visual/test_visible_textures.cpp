// Textures of visible objects: loading through the drawing pass (halved to the maximum
// size), the texture parameter file, fitted and re-solved planes, composed tiles; the
// bounding-box text that the planes are fitted to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AK_Framework.h"
#include "AK_Ppm.h"
#include "AK_VisibleObject_Texture.h"
#include "TestSupport.h"
#include "VisibleTestSupport.h"

namespace {

std::string Get(AK_Object& o, const char* name) { return o.Get(name).c_str(); }

// A w x h image of one colour (8 bits per sample unless depth says 16).
void WriteImage(const std::string& path, int w, int h, unsigned char r, unsigned char g,
                unsigned char b, int depth = 8)
{
  const unsigned char rgb[3] = {r, g, b};
  std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * (depth > 8 ? 6 : 3));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = depth > 8 ? 0 : rgb[i % 3];
  ASSERT_EQ(WritePpm(path.c_str(), w, h, depth, pixels.data()), 0);
}

}  // namespace

TEST(Textures, LoadingThroughTheDrawingPass)
{
  ScratchDir dir;
  WriteImage(dir / "photo.ppm", 20, 10, 10, 20, 30);
  WriteImage(dir / "deep.ppm", 2, 2, 1, 2, 3, 16);
  dir.Write("dir.old/photo", "");
  dir.Write("photo.texpar", "0.5 0 0 1\n0 0.25 0 2\n");
  GLLog gl;
  MessageCapture messages;
  AK_VisibleObject o("o", nullptr);

  // The graphics table cannot build the texture: texturing goes off, the name stays, and
  // the next pass does not try again.
  o.Set("TextureFileName", (dir / "photo.ppm").c_str());
  EXPECT_EQ(Get(o, "Textured"), "1");
  o.Update();
  EXPECT_TRUE(messages.HasPrefix("WARNING: could not apply texture due to OpenGL-error "));
  EXPECT_EQ(Get(o, "Textured") + Get(o, "TextureFileName"), "0" + dir / "photo.ppm");
  EXPECT_NE(gl.log.find("glDeleteTextures 1 7\n"), std::string::npos);
  gl.log.clear();
  o.Update();
  EXPECT_EQ(gl.log.find("gluBuild2DMipmaps"), std::string::npos);

  // Built: halved to the maximum size, white, planes from the parameter file, bound.
  gl.buildResult = 0;
  messages.Clear();
  o.Set("TextureMaxSize", "8");
  o.Set("Textured", "1");
  o.Update();
  EXPECT_EQ(messages.WithPrefix("scaling texture size down to "),
            (std::vector<std::string>{"scaling texture size down to 10x5", "scaling texture size down to 5x2"}));
  EXPECT_EQ(Get(o, "Textured") + Get(o, "Color"), "11 1 1");
  for (const char* call : {"glTexParameteri 3553 10242 10496\n", "gluBuild2DMipmaps 5 2\n",
                           "glBindTexture 3553 7\nglTexGeni 8192 9472 9217\nglTexGeni 8193 9472 9217\n"
                           "glTexGenfv 8192 9473 0.5 0 0 1\nglTexGenfv 8193 9473 0 0.25 0 2\n"
                           "glTexEnvf 8960 8704 8448\nglEnable 3168\nglEnable 3169\nglEnable 3553\n"})
    EXPECT_NE(gl.log.find(call), std::string::npos) << call;

  // A new wrap mode drops the texture; a maximum below 1 counts as 1.
  gl.log.clear();
  messages.Clear();
  o.Set("TextureRepeat", "1");
  o.Set("TextureMaxSize", "-5");
  o.Update();
  EXPECT_EQ(gl.log.find("glDeleteTextures 1 7\n"), 0u);
  EXPECT_NE(gl.log.find("glTexParameteri 3553 10242 10497\n"), std::string::npos);
  EXPECT_NE(gl.log.find("gluBuild2DMipmaps 1 1\n"), std::string::npos);
  EXPECT_TRUE(messages.Contains("scaling texture size down to 1x1"));

  // Images that cannot be textures leave the name and switch texturing off.
  struct Row { std::string file, error, message; };
  for (const Row& r : {Row{dir / "deep.ppm", "textures with color depth > 8 bits are not supported", ""},
                       Row{dir / "dir.old/photo", "", "loading texture from file " + dir / "dir.old/photo" + " failed - deactivating texturing!"}}) {
    o.Set("TextureFileName", r.file.c_str());
    o.Update();
    EXPECT_STREQ(AK_ErrorText.c_str(), r.error.c_str());
    EXPECT_EQ(Get(o, "Textured") + Get(o, "TextureFileName"), "0" + r.file);
    EXPECT_TRUE(r.message.empty() || messages.Contains(r.message));
  }
  EXPECT_STREQ(o.TextureParameterPath().c_str(), (dir / "dir.old/photo.texpar").c_str());
}

TEST(Textures, PlanesFittedSolvedAndSaved)
{
  ScratchDir dir;
  Probe p;
  p.Set("TextureFit", "");
  p.Set("BoundingBox", "");
  EXPECT_EQ(Get(p, "TextureParametersS") + "|" + Get(p, "BoundingBox"), "1 0 0 0|");
  p.hasBox = true;
  p.box[0][0] = 100, p.box[0][1] = 200, p.box[1][0] = 300, p.box[1][1] = 600, p.box[1][2] = 50;
  p.Set("BoundingBox", "anything");
  EXPECT_EQ(Get(p, "BoundingBox"), "min:100 200 0, max:300 600 50");
  p.Set("TextureFit", "");
  EXPECT_EQ(Get(p, "TextureParametersS") + ", " + Get(p, "TextureParametersT"), "0.005 0 0 -0.5, 0 0.0025 0 -0.5");

  AK_VisibleObject o("o", nullptr);
  o.Set("ApplyTextureReference", "");
  EXPECT_EQ(Get(o, "TextureParametersS") + ", " + Get(o, "TextureParametersT"), "1 0 0 0, 0 1 0 0");
  for (const char* name : {"TextureWorldPosX0", "TextureWorldPosX1", "TextureWorldPosX2"}) {
    double v[2];
    ParseDoublePairList(o.Get(name), v);
    o.Set(name, AK_String::Format("%g %g", v[0] + 10, v[1] + 20));
  }
  o.Set("ApplyTextureReference", "");
  EXPECT_EQ(Get(o, "TextureParametersS") + ", " + Get(o, "TextureParametersT"), "1 0 0 -10, 0 1 0 -20");
  // Collinear world points solve nothing.
  o.Set("TextureWorldPosX2", "10 30");
  o.Set("ApplyTextureReference", "");
  EXPECT_STRNE(AK_ErrorText.c_str(), "");
  EXPECT_EQ(Get(o, "TextureParametersS"), "1 0 0 -10");

  o.Set("TextureParametersS", "0.1 0 0 0");
  o.Set("TextureFileName", (dir / "terrain.ppm").c_str());
  o.Set("SaveTexPar", "");
  EXPECT_EQ(ReadFile(dir / "terrain.texpar"), "0.10000000149012 0 0 0\n0 1 0 -20\n");
}

TEST(Textures, TilesComposeIntoOneGeoreferencedImage)
{
  ScratchDir dir;
  WriteImage(dir / "a.ppm", 100, 50, 255, 0, 0);
  WriteImage(dir / "b.ppm", 100, 50, 0, 0, 255);
  dir.Write("a.pmw", "1\n0\n0\n-1\n1000.5\n2049.5\n");
  AK_VisibleObject o("o", nullptr);
  for (const char* tile : {"a.ppm", "b.ppm", "a.ppm"}) o.Set("TextureTileAdd", (dir / tile).c_str());
  const std::string tiles = dir / "a.ppm" + "%AK_SEP%" + dir / "b.ppm" + "%AK_SEP%";
  EXPECT_EQ(Get(o, "TextureTiles"), tiles);

  // Inconsistent tiles stop the composition with their reason; nothing changes.
  struct Row { const char* worldB; const char* out; const char* error; };
  const Row rows[] = {
      {nullptr, "out.ppm", "cannot open world file '"},
      {"1.01\n0\n0\n-1\n1100.5\n2049.5\n", "out.ppm", "inconsistent geo-referencing in '"},
      {"1\n0\n0\n-1\n1100\n2049.5\n", "out.ppm", "inconsistent pixel raster in '"},
      {"1\n0\n0\n-1\n1000000000000.5\n2049.5\n", "out.ppm", "composed image of "},
      {"1\n0\n0\n-1\n1100.5\n", "out.ppm", "world file '"},
      {"1.0000001\n0\n0\n-1\n1100.5\n2049.5\n", "out.jpg", "could not write image file '"},
  };
  o.Set("JpgQuality", "150");
  for (const Row& r : rows) {
    std::remove((dir / "b.pmw").c_str());
    if (r.worldB) dir.Write("b.pmw", r.worldB);
    o.Set("TextureTilesLoad", (dir / r.out).c_str());
    EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind(r.error, 0), 0u) << AK_ErrorText.c_str();
    EXPECT_EQ(Get(o, "TextureTiles"), tiles);
  }
  EXPECT_EQ(Get(o, "JpgQuality"), "100");

  MessageCapture messages;
  dir.Write("b.pmw", "1\n0\n0\n-1\n1100.5\n2049.5\n");
  o.Set("TextureTilesLoad", (dir / "out.ppm").c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(messages.WithPrefix("re-setting total image size to "),
            std::vector<std::string>{"re-setting total image size to 200 x 50"});
  EXPECT_EQ(Get(o, "TextureTiles"), "");
  EXPECT_EQ(Get(o, "TextureFileName"), dir / "out.ppm");
  EXPECT_EQ(ReadFile(dir / "out.pmw"), "1\n0\n0\n-1\n1000.5\n2049.5\n");
  int w = 0, h = 0, depth = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(ReadPpm((dir / "out.ppm").c_str(), w, h, depth, data), 0);
  AK_Pixels pixels(data);
  EXPECT_TRUE(data[0] == 255 && data[(10 * 200 + 150) * 3 + 2] == 255) << "red on the left, blue on the right";

  // The PNM driver of GDAL looks for the world file under the extension "wld".
  WriteFile(dir / "out.wld", ReadFile(dir / "out.pmw"));
  const std::string info = RunProcess("gdalinfo " + ShellQuote(dir / "out.ppm"));
  EXPECT_NE(info.find("Size is 200, 50"), std::string::npos) << info;
  EXPECT_NE(info.find("Origin = (1000.000000000000000,2050.000000000000000)"), std::string::npos) << info;
  EXPECT_NE(info.find("Pixel Size = (1.000000000000000,-1.000000000000000)"), std::string::npos) << info;
}

// The texture parameter file and the world file of composed tiles, each of their calls failed in
// turn: the command answers the failure, and the file before stays as it was. A composed image
// whose world file failed is still the texture.
TEST(Textures, SavedPlanesAndWorldFileAnswerAFailedWrite)
{
  ScratchDir dir;
  AK_VisibleObject o("o", nullptr);
  o.Set("TextureFileName", (dir / "missing/terrain.ppm").c_str());
  o.Set("SaveTexPar", "");
  EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("cannot save the texture parameters to ", 0), 0u);

  o.Set("TextureFileName", (dir / "terrain.ppm").c_str());
  dir.Write("terrain.texpar", "before\n");
  AK_RestartFailureCount(0);
  o.Set("SaveTexPar", "");
  const long calls = AK_FailureHookCalls();
  EXPECT_EQ(ReadFile(dir / "terrain.texpar"), "1 0 0 0\n0 1 0 0\n");
  EXPECT_GE(calls, 4);
  for (long n = 1; n <= calls; ++n) {
    SCOPED_TRACE("texpar, call " + std::to_string(n));
    dir.Write("terrain.texpar", "before\n");
    AK_RestartFailureCount(n);
    testing::internal::CaptureStderr();
    o.Set("SaveTexPar", "");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("cannot save the texture parameters to " + dir / "terrain.texpar", 0),
              0u)
        << AK_ErrorText.c_str();
    EXPECT_EQ(ReadFile(dir / "terrain.texpar"), "before\n");
  }

  WriteImage(dir / "a.ppm", 4, 2, 255, 0, 0);
  dir.Write("a.pmw", "1\n0\n0\n-1\n1000.5\n2049.5\n");
  const std::string out = dir / "out.ppm";
  const auto compose = [&](long failAt) {
    dir.Write("out.pmw", "before\n");
    o.Set("TextureFileName", "");
    o.Set("TextureTileAdd", (dir / "a.ppm").c_str());
    AK_RestartFailureCount(failAt);
    testing::internal::CaptureStderr();
    o.Set("TextureTilesLoad", out.c_str());
    testing::internal::GetCapturedStderr();
    const long made = AK_FailureHookCalls();
    AK_RestartFailureCount(0);
    return made;
  };
  const long composing = compose(0);
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_EQ(ReadFile(dir / "out.pmw"), "1\n0\n0\n-1\n1000.5\n2049.5\n");
  // The image's calls come first, the world file's last, as many as the texture parameters'.
  for (long n = composing - calls + 1; n <= composing; ++n) {
    SCOPED_TRACE("world file, call " + std::to_string(n));
    compose(n);
    EXPECT_EQ(std::string(AK_ErrorText.c_str()).rfind("cannot write world file '" + dir / "out.pmw" + "'", 0), 0u)
        << AK_ErrorText.c_str();
    EXPECT_EQ(ReadFile(dir / "out.pmw"), "before\n");
    EXPECT_EQ(Get(o, "TextureFileName"), out);
    EXPECT_EQ(Get(o, "TextureTiles"), "");
  }
}
