// PPM images: reading hostile files, writing 8- and 16-bit images, netpbm reading ours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "AK_Ppm.h"
#include "TestSupport.h"

namespace {

// The result of reading a file, with the outputs and the pixels as text.
struct ReadResult { int code; int width = -7, height = -7, depth = -7; std::string pixels; bool handedOut = false; };

ReadResult Read(const std::string& path) {
  ReadResult r{};
  r.width = r.height = r.depth = -7;
  unsigned char* data = nullptr;
  r.code = ReadPpm(path.c_str(), r.width, r.height, r.depth, data);
  if (data) {
    r.handedOut = true;
    const size_t bytes = size_t(r.width) * r.height * (r.depth == 8 ? 3 : 6);
    r.pixels.assign(reinterpret_cast<char*>(data), bytes);
    std::free(data);
  }
  return r;
}

class Ppm : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return dir_ / name; }
  ScratchDir dir_;
};

TEST_F(Ppm, ReadsTheWaysFilesAreWritten) {
  struct Case {
    const char* name;
    std::string bytes;
    int width, height, depth;
    std::string pixels;  // the first file row lands in the last buffer row
  };
  const Case cases[] = {
      {"comment, two rows", "P6\n# made by hand\n3 2\n255\nabcdefghiABCDEFGHI", 3, 2, 8, "ABCDEFGHIabcdefghi"},
      // Samples kept in file byte order, not rescaled.
      {"maximum above 255: sixteen bits", "P6\n1 2\n256\n123456abcdef", 1, 2, 16, "abcdef123456"},
      {"CRLF header lines", "P6\r\n1 1\r\n255\r\nxyz", 1, 1, 8, "xyz"},
      {"trailing bytes ignored", "P6\n1 1\n255\nxyz-trailer", 1, 1, 8, "xyz"},
  };
  for (const Case& c : cases) {
    WriteFile(File("a.ppm"), c.bytes);
    const ReadResult r = Read(File("a.ppm"));
    ASSERT_EQ(r.code, 0) << c.name;
    EXPECT_EQ(std::vector<int>({r.width, r.height, r.depth}), std::vector<int>({c.width, c.height, c.depth})) << c.name;
    EXPECT_EQ(r.pixels, c.pixels) << c.name;
  }
  // A path with backslashes reaches the same file.
  const unsigned char px[3] = {1, 2, 3};
  ASSERT_EQ(WritePpm((dir_.Path() + "\\back.ppm").c_str(), 1, 1, 8, px), 0);
  EXPECT_EQ(Read(File("back.ppm")).pixels, "\x01\x02\x03");
}

TEST_F(Ppm, HostileHeadersFailWithTheCodeOfTheirFirstBadItem) {
  const std::string longComment = "#" + std::string(70, 'c') + "\n";
  struct Case { const char* name; std::string bytes; int code; };
  const std::vector<Case> cases = {
      {"empty", "", AK_PPM_BAD_MAGIC},
      {"plain ppm", "P3\n1 1\n255\n0 0 0\n", AK_PPM_BAD_MAGIC},
      {"magic with more", "P6 1 1 255\nxyz", AK_PPM_BAD_MAGIC},
      {"comment split by the line buffer", longComment + "P6\n1 1\n255\nxyz", AK_PPM_BAD_MAGIC},
      {"only magic", "P6\n", AK_PPM_BAD_SIZE},
      {"only comments after magic", "P6\n# a\n# b\n", AK_PPM_BAD_SIZE},
      {"no numbers", "P6\nx y\n255\nxyz", AK_PPM_BAD_SIZE},
      {"one number", "P6\n3\n255\nxyz", AK_PPM_BAD_SIZE},
      {"zero width", "P6\n0 5\n255\n", AK_PPM_BAD_SIZE},
      {"negative height", "P6\n5 -1\n255\n", AK_PPM_BAD_SIZE},
      {"width beyond int", "P6\n99999999999 1\n255\nxyz", AK_PPM_BAD_SIZE},
      {"no maximum", "P6\n1 1\n", AK_PPM_BAD_MAXVAL},
      {"maximum not a number", "P6\n1 1\nmax\nxyz", AK_PPM_BAD_MAXVAL},
      {"maximum zero", "P6\n1 1\n0\nxyz", AK_PPM_BAD_MAXVAL},
      {"maximum negative", "P6\n1 1\n-255\nxyz", AK_PPM_BAD_MAXVAL},
      {"maximum above 16 bits", "P6\n1 1\n65536\nxyzxyz", AK_PPM_BAD_MAXVAL},
      {"size and maximum on one line", "P6\n3 2 255\n" + std::string(18, 'x'), AK_PPM_BAD_MAXVAL},
      {"sizes whose product overflows", "P6\n2147483647 2147483647\n65535\n", AK_PPM_BAD_MAXVAL},
      {"huge but plausible size", "P6\n100000 100000\n65535\nxyz", AK_PPM_TRUNCATED},
      {"one byte short", "P6\n2 2\n255\n" + std::string(11, 'x'), AK_PPM_TRUNCATED},
      {"no pixels", "P6\n1 1\n255\n", AK_PPM_TRUNCATED},
  };
  for (const Case& c : cases) {
    WriteFile(File("h.ppm"), c.bytes);
    const ReadResult r = Read(File("h.ppm"));
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_FALSE(r.handedOut) << c.name;
    EXPECT_EQ(r.width, -7) << c.name;
    EXPECT_EQ(r.height, -7) << c.name;
    EXPECT_EQ(r.depth, -7) << c.name;
  }
}

TEST_F(Ppm, MissingFileCannotBeOpened) {
  EXPECT_EQ(Read(File("missing.ppm")).code, AK_PPM_CANNOT_OPEN);
  const int directory = Read(dir_.Path()).code;  // opens on some systems, but holds no image
  EXPECT_TRUE(directory == AK_PPM_CANNOT_OPEN || directory == AK_PPM_BAD_MAGIC) << directory;
}

TEST_F(Ppm, WritesHeaderAndRowsTopFirst) {
  const unsigned char rows[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2, bottom row first
  ASSERT_EQ(WritePpm(File("w.ppm").c_str(), 2, 2, 8, rows), 0);
  EXPECT_EQ(ReadFile(File("w.ppm")),
            std::string("P6\n2 2\n255\n") + std::string("\x07\x08\x09\x0a\x0b\x0c", 6) +
                std::string("\x01\x02\x03\x04\x05\x06", 6));
}

TEST_F(Ppm, WritesTwelveBitImagesWithTwoBytesPerSample) {
  const unsigned char px[6] = {0x0f, 0xff, 0x00, 0x10, 0x08, 0x00};
  ASSERT_EQ(WritePpm(File("w.ppm").c_str(), 1, 1, 12, px), 0);
  EXPECT_EQ(ReadFile(File("w.ppm")), std::string("P6\n1 1\n65535\n") +
                                      std::string(reinterpret_cast<const char*>(px), 6));
}

TEST_F(Ppm, RefusesImagesItCannotWriteWithoutCreatingAFile) {
  const unsigned char px[6] = {};
  struct Case { int width, height, depth; const unsigned char* data; };
  const Case cases[] = {{1, 1, 17, px}, {0, 1, 8, px}, {1, -3, 8, px}, {1, 1, 8, nullptr}};
  for (const Case& c : cases) {
    EXPECT_EQ(WritePpm(File("r.ppm").c_str(), c.width, c.height, c.depth, c.data),
              AK_PPM_BAD_IMAGE);
    EXPECT_FALSE(AK_FileExists(File("r.ppm").c_str()));
  }
  EXPECT_EQ(WritePpm((dir_ / "no/such/dir.ppm").c_str(), 1, 1, 8, px), AK_PPM_CANNOT_OPEN);
}

// A write that fails half-way (a full disk) is reported and leaves the previous image whole,
// with no temporary file beside it; a device is never replaced by an image.
TEST_F(Ppm, ReportsAFailedWriteAndKeepsThePreviousImage) {
  const unsigned char one[3] = {1, 2, 3};
  ASSERT_EQ(WritePpm(File("keep.ppm").c_str(), 1, 1, 8, one), AK_PPM_OK);
  const std::string previous = ReadFile(File("keep.ppm"));
  std::vector<unsigned char> px(64 * 64 * 3, 7);
  {
    FileSizeLimit full(1000);
    EXPECT_EQ(WritePpm(File("keep.ppm").c_str(), 64, 64, 8, px.data()), AK_PPM_WRITE_FAILED);
    EXPECT_EQ(WritePpm(File("new.ppm").c_str(), 64, 64, 8, px.data()), AK_PPM_WRITE_FAILED);
  }
  EXPECT_EQ(ReadFile(File("keep.ppm")), previous);
  EXPECT_FALSE(AK_FileExists(File("new.ppm").c_str()));
  EXPECT_EQ(AK_ListDirectory(dir_.Path().c_str(), "").Count(), 1);
  if (AK_FileExists("/dev/full")) {
    EXPECT_EQ(WritePpm("/dev/full", 64, 64, 8, px.data()), AK_PPM_CANNOT_OPEN);
    EXPECT_FALSE(AK_IsRegularFile("/dev/full"));
  }
}

TEST_F(Ppm, RandomImagesRoundTripAtEightAndSixteenBits) {
  std::mt19937 rng(12);
  for (int depth : {8, 16, 1, 9}) {
    for (int trial = 0; trial < 5; ++trial) {
      const int w = 1 + int(rng() % 37), h = 1 + int(rng() % 23);
      const int bpp = depth <= 8 ? 3 : 6;
      std::string px(size_t(w) * h * bpp, '\0');
      for (char& b : px) b = char(rng());
      // A row that starts with "#" or a digit must not confuse the reader.
      px[px.size() - size_t(w) * bpp] = '#';
      const std::string path = File("rt.ppm");
      ASSERT_EQ(WritePpm(path.c_str(), w, h, depth,
                         reinterpret_cast<const unsigned char*>(px.data())),
                0);
      const ReadResult r = Read(path);
      ASSERT_EQ(r.code, 0);
      EXPECT_EQ(r.width, w);
      EXPECT_EQ(r.height, h);
      EXPECT_EQ(r.depth, depth <= 8 ? 8 : 16);
      EXPECT_EQ(r.pixels, px);
    }
  }
}

TEST_F(Ppm, WrittenFilesAreAcceptedByNetpbm) {
  if (std::system("command -v pamfile >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pamfile (Debian package netpbm) is not installed";
  std::vector<unsigned char> px(5 * 3 * 6, 200);
  ASSERT_EQ(WritePpm(File("eight.ppm").c_str(), 5, 3, 8, px.data()), 0);
  ASSERT_EQ(WritePpm(File("sixteen.ppm").c_str(), 5, 3, 16, px.data()), 0);
  const std::string eight = RunProcess("pamfile " + ShellQuote(File("eight.ppm")));
  const std::string sixteen = RunProcess("pamfile " + ShellQuote(File("sixteen.ppm")));
  EXPECT_NE(eight.find("PPM raw, 5 by 3  maxval 255"), std::string::npos) << eight;
  EXPECT_NE(sixteen.find("PPM raw, 5 by 3  maxval 65535"), std::string::npos) << sixteen;
  // netpbm reads the pixels too: the whole image must be there.
  EXPECT_EQ(std::system(("pnmtopnm -plain '" + File("sixteen.ppm") + "' >/dev/null 2>&1").c_str()),
            0);
}

}  // namespace
