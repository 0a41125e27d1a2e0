#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// The uncompressed content of a gzip file, read with zlib itself.
std::vector<unsigned char> Gunzip(const std::string& path)
{
  std::vector<unsigned char> out;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return out;
  unsigned char buf[4096];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  gzclose(f);
  return out;
}

std::vector<unsigned char> FileBytes(const std::string& path)
{
  std::string bytes = ReadFile(path);
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

// Writes the uncompressed bytes as a gzip file, so tests can hand the reader any record.
void WriteGzip(const std::string& path, const std::vector<unsigned char>& bytes)
{
  gzFile f = gzopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  if (!bytes.empty()) gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(f);
}

void PutLE32(std::vector<unsigned char>& b, uint32_t v)
{
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

TEST(Stream, SmallRecordHasExactBytes)
{
  ScratchDir dir;
  std::string path = dir / "record.dat";
  {
    AK_STREAM s;
    ASSERT_EQ(AK_StreamOpen(s, path.c_str(), "wb"), 1);
    s << AK_String("AB") << int32_t(-2) << 1.5f << 2.0;
    const unsigned char bytes[2] = {0x7f, 0x80};
    EXPECT_EQ(AK_StreamWriteBytes(s, bytes, 2), 2);
    EXPECT_EQ(AK_StreamClose(s), 0);
  }
  // Hand-written: "AB" as length 2 and its bytes, -2, 1.5f, 2.0, two raw bytes.
  const std::vector<unsigned char> expected = {
      0x02, 0x00, 0x00, 0x00, 'A',  'B',                                   // text
      0xfe, 0xff, 0xff, 0xff,                                              // i32 -2
      0x00, 0x00, 0xc0, 0x3f,                                              // f32 1.5
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,                      // f64 2.0
      0x7f, 0x80};                                                         // bytes
  EXPECT_EQ(Gunzip(path), expected);
  std::vector<unsigned char> raw = FileBytes(path);
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw[0], 0x1f);  // a real gzip member, which "gzip -d" reads
  EXPECT_EQ(raw[1], 0x8b);
}

TEST(Stream, RoundTripOfEveryItemType)
{
  ScratchDir dir;
  std::string path = dir / "all.dat";
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> real(-1e6, 1e6);
  std::vector<int32_t> ints(1000);
  std::vector<float> floats(777);
  std::vector<double> doubles(5000);
  std::vector<unsigned char> bytes(300);
  for (auto& v : ints) v = static_cast<int32_t>(rng());
  for (auto& v : floats) v = static_cast<float>(real(rng));
  for (auto& v : doubles) v = real(rng);
  for (auto& v : bytes) v = static_cast<unsigned char>(rng());
  AK_Array<AK_Vec3> points;
  for (int i = 0; i < 100; ++i) points.Append(AK_Vec3(real(rng), real(rng), real(rng)));
  std::string longText(200000, 'x');
  for (size_t i = 0; i < longText.size(); i += 7) longText[i] = static_cast<char>('a' + i % 26);

  const double special[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::denorm_min(), -1e308};
  {
    AK_STREAM s(path.c_str(), "wb");
    ASSERT_TRUE(s.IsOpen());
    s << int32_t(0) << std::numeric_limits<int32_t>::min() << std::numeric_limits<int32_t>::max();
    s << 3.25f << -0.0f;
    for (double d : special) s << d;
    s << AK_String("") << AK_String("SW_Mesh:v1") << "plain" << AK_String(longText.c_str());
    EXPECT_EQ(AK_StreamWriteInts(s, ints.data(), 1000), 1000);
    EXPECT_EQ(AK_StreamWriteFloats(s, floats.data(), 777), 777);
    EXPECT_EQ(AK_StreamWriteDoubles(s, doubles.data(), 5000), 5000);
    EXPECT_EQ(AK_StreamWriteBytes(s, bytes.data(), 300), 300);
    EXPECT_EQ(AK_WriteVec3Array(s, points), 0);
    EXPECT_EQ(AK_WriteVec3Array(s, AK_Array<AK_Vec3>()), 0);
    EXPECT_EQ(AK_StreamClose(s), 0);
  }
  AK_STREAM s(path.c_str(), "rb");
  ASSERT_TRUE(s.IsOpen());
  int32_t a = 1, b = 0, c = 0;
  s >> a >> b >> c;
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(c, std::numeric_limits<int32_t>::max());
  float f1 = 0, f2 = 1;
  s >> f1 >> f2;
  EXPECT_EQ(f1, 3.25f);
  EXPECT_TRUE(f2 == 0.0f && std::signbit(f2));
  for (double d : special) {
    double r = 1;
    s >> r;
    EXPECT_EQ(std::memcmp(&r, &d, sizeof d), 0);
  }
  AK_String t1("junk"), t2, t3, t4;
  s >> t1 >> t2 >> t3 >> t4;
  EXPECT_STREQ(t1, "");
  EXPECT_STREQ(t2, "SW_Mesh:v1");
  EXPECT_STREQ(t3, "plain");
  EXPECT_EQ(std::string(t4.c_str()), longText);
  EXPECT_FALSE(s.Fail());

  std::vector<int32_t> ints2(1000);
  std::vector<float> floats2(777);
  AK_Array<double> doubles2;
  std::vector<unsigned char> bytes2(300);
  EXPECT_EQ(AK_StreamReadInts(s, ints2.data(), 1000), 1000);
  EXPECT_EQ(AK_StreamReadFloats(s, floats2.data(), 777), 777);
  EXPECT_EQ(AK_StreamReadArray(s, doubles2, 5000), 0);
  EXPECT_EQ(AK_StreamReadBytes(s, bytes2.data(), 300), 300);
  EXPECT_EQ(ints2, ints);
  EXPECT_EQ(floats2, floats);
  ASSERT_EQ(doubles2.Count(), 5000);
  EXPECT_EQ(std::vector<double>(doubles2.begin(), doubles2.end()), doubles);
  EXPECT_EQ(bytes2, bytes);
  AK_Array<AK_Vec3> points2, empty2;
  empty2.Append(AK_Vec3(1, 2, 3));
  EXPECT_EQ(AK_ReadVec3Array(s, points2), 0);
  EXPECT_EQ(AK_ReadVec3Array(s, empty2), 0);
  ASSERT_EQ(points2.Count(), points.Count());
  for (int i = 0; i < points.Count(); ++i) EXPECT_TRUE(points2[i] == points[i]);
  EXPECT_EQ(empty2.Count(), 0);
  EXPECT_FALSE(s.Fail());
  int32_t past = 42;
  s >> past;  // the end of the data
  EXPECT_TRUE(s.Fail());
  EXPECT_EQ(past, 42);
}

TEST(Stream, OpenModesAndPaths)
{
  ScratchDir dir;
  {
    // A mode without "b" fails, reports, and creates nothing.
    std::string path = dir / "text.dat";
    MessageCapture capture;
    AK_STREAM s;
    EXPECT_EQ(AK_StreamOpen(s, path.c_str(), "w"), 0);
    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(capture.messages, std::vector<std::string>{"AK_STREAM " + path + " must be opened in binary mode!"});
    EXPECT_FALSE(AK_FileExists(path.c_str()));
    s << int32_t(1);
    EXPECT_TRUE(s.Fail());
  }
  AK_STREAM missing, nowhere, closed;
  EXPECT_EQ(AK_StreamOpen(missing, (dir / "none.dat").c_str(), "rb"), 0);
  EXPECT_TRUE(missing.Fail());
  EXPECT_EQ(AK_StreamOpen(nowhere, (dir / "no/such/dir/x.dat").c_str(), "wb"), 0);
  EXPECT_TRUE(nowhere.Fail());
  EXPECT_EQ(AK_StreamClose(nowhere), 1);
  int32_t x = 0;
  closed >> x;
  EXPECT_TRUE(closed.Fail());
  // A backslash path reaches the same file; writing to a read stream fails.
  std::filesystem::create_directory(dir / "sub");
  { AK_STREAM s((dir.Path() + "\\sub\\x.dat").c_str(), "wb"); s << int32_t(5); }
  AK_STREAM s((dir / "sub/x.dat").c_str(), "rb");
  ASSERT_TRUE(s.IsOpen());
  s << int32_t(1);
  EXPECT_TRUE(s.Fail());
}

TEST(Stream, FullDiskIsReportedAtCloseAndByTheDestructor)
{
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  AK_STREAM s;
  ASSERT_EQ(AK_StreamOpen(s, "/dev/full", "wb"), 1);
  std::vector<double> data(1 << 16, 1.25);
  for (int i = 0; i < 4; ++i) AK_StreamWriteDoubles(s, data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(AK_StreamClose(s), 1);
  EXPECT_TRUE(s.Fail());
  EXPECT_STREQ(AK_StreamSystemError(s), "No space left on device");
  MessageCapture capture;
  {
    AK_STREAM unclosed("/dev/full", "wb");
    unclosed << 1.0;
  }
  ASSERT_EQ(capture.messages.size(), 1u);
  EXPECT_NE(capture.messages[0].find("ERROR:"), std::string::npos);
}

// A replacing write that the system refuses keeps the system's reason, whether the refusal
// comes at the open, at a write or at the close; one that works keeps none, also after an
// earlier stream failed.
TEST(Stream, AReplacingWriteKeepsTheSystemsReason)
{
  struct Case {
    const char* name;
    const char* file;    // below the scratch directory
    bool opens;
    const char* reason;
  } cases[] = {
      {"written", "ok.dat", true, ""},
      {"a directory in the way", "dir.dat", false, "Is a directory"},
      {"no such directory", "none/x.dat", false, "No such file or directory"},
      {"no write permission", "locked/x.dat", false, "Permission denied"},
      {"file-size limit", "big.dat", true, "File too large"},
  };
  ScratchDir dir;
  std::filesystem::create_directories(dir / "dir.dat/inside");
  std::filesystem::create_directory(dir / "locked");
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  // Permissions do not stop root.
  const bool permissionsHold = access((dir / "locked").c_str(), W_OK) != 0;
  std::vector<double> data(1 << 16);
  for (size_t i = 0; i < data.size(); ++i) data[i] = std::sin(double(i));  // compresses badly
  AK_STREAM s;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.file) == "locked/x.dat" && !permissionsHold) continue;
    std::optional<FileSizeLimit> limit;
    if (std::string(c.file) == "big.dat") limit.emplace(4096);
    const bool opened = AK_StreamOpenReplacing(s, (dir / c.file).c_str(), "wb") == 1;
    EXPECT_EQ(opened, c.opens);
    if (opened) {
      AK_StreamWriteDoubles(s, data.data(), int32_t(data.size()));
      EXPECT_EQ(AK_StreamClose(s), *c.reason ? 1 : 0);
    }
    EXPECT_STREQ(AK_StreamSystemError(s), c.reason);
    EXPECT_EQ(s.SystemError() != 0, *c.reason != 0);
  }
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
  // Nothing of a refused write is left beside its target.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dir.dat", "locked", "ok.dat"}));
}

// Lengths and counts in the file are not trusted: each case must fail cleanly.
TEST(Stream, DishonestLengthsAndCounts)
{
  struct Case {
    const char* name;
    int32_t announced;  // length or count in the file
    int payloadBytes;   // bytes that really follow
    int kind;           // 0 text, 1 Vec3 array, 2 int array via AK_StreamReadArray
  };
  const Case cases[] = {
      {"negative text length", -5, 100, 0},
      {"huge text length", 2000000000, 10, 0},
      {"text one byte short", 11, 10, 0},
      {"negative vector count", -1, 48, 1},
      {"huge vector count", 1000000000, 48, 1},
      {"vector count one short", 3, 48, 1},
      {"huge int count", 2147483647, 16, 2},
      {"negative int count", -100, 16, 2},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir / "bad.dat";
    std::vector<unsigned char> bytes;
    PutLE32(bytes, static_cast<uint32_t>(c.announced));
    for (int i = 0; i < c.payloadBytes; ++i) bytes.push_back(static_cast<unsigned char>(i));
    WriteGzip(path, bytes);
    AK_STREAM s(path.c_str(), "rb");
    ASSERT_TRUE(s.IsOpen());
    if (c.kind == 0) {
      AK_String text("previous");
      s >> text;
      EXPECT_STREQ(text, "");
    } else if (c.kind == 1) {
      AK_Array<AK_Vec3> points;
      points.Append(AK_Vec3(1, 1, 1));
      EXPECT_EQ(AK_ReadVec3Array(s, points), 1);
      EXPECT_EQ(points.Count(), 0);
      EXPECT_LE(points.Capacity(), 1 << 16);
    } else {
      int32_t n = 0;
      s >> n;
      AK_Array<int32_t> items;
      EXPECT_EQ(AK_StreamReadArray(s, items, n), 1);
      EXPECT_EQ(items.Count(), 0);
    }
    EXPECT_TRUE(s.Fail());
    // The record is lost: later reads fail as well, even where bytes remain.
    int32_t after = 0;
    s >> after;
    EXPECT_TRUE(s.Fail());
  }
}

TEST(Stream, TruncatedAndDamagedFilesFailWithoutCrashing)
{
  ScratchDir dir;
  std::string good = dir / "good.dat";
  std::vector<double> data(20000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = std::sin(static_cast<double>(i));
  {
    AK_STREAM s(good.c_str(), "wb");
    s << AK_String("SW_ScalarField:v0") << static_cast<int32_t>(data.size());
    AK_StreamWriteDoubles(s, data.data(), static_cast<int32_t>(data.size()));
    ASSERT_EQ(AK_StreamClose(s), 0);
  }
  std::vector<unsigned char> whole = FileBytes(good);
  auto readAll = [&](const std::string& path) {
    AK_STREAM s(path.c_str(), "rb");
    if (!s.IsOpen()) return false;
    AK_String tag;
    int32_t n = 0;
    AK_Array<double> values;
    s >> tag >> n;
    if (s.Fail()) return false;
    AK_StreamReadArray(s, values, n);
    return !s.Fail() && values.Count() == n && n == static_cast<int32_t>(data.size());
  };
  EXPECT_TRUE(readAll(good));
  std::string bad = dir / "bad.dat";
  for (size_t keep : {size_t(0), size_t(5), size_t(12), whole.size() / 3, whole.size() / 2,
                      whole.size() - 9, whole.size() - 1}) {
    SCOPED_TRACE(keep);
    WriteFile(bad, std::string(whole.begin(), whole.begin() + keep));
    EXPECT_FALSE(readAll(bad));
  }
  std::mt19937 rng(3);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<unsigned char> damaged = whole;
    size_t at = 10 + rng() % (damaged.size() - 20);
    damaged[at] ^= static_cast<unsigned char>(1 + rng() % 255);
    WriteFile(bad, std::string(damaged.begin(), damaged.end()));
    EXPECT_FALSE(readAll(bad)) << "flipped byte " << at;
  }
}

TEST(Stream, FailFlagFollowsTheLastItem)
{
  ScratchDir dir;
  std::string path = dir / "flag.dat";
  {
    AK_STREAM s(path.c_str(), "wb");
    s << int32_t(1);
    EXPECT_EQ(AK_StreamWriteInts(s, nullptr, -1), 0);
    EXPECT_TRUE(s.Fail());
    s << int32_t(2);
    EXPECT_FALSE(s.Fail());
  }
  AK_STREAM s(path.c_str(), "rb");
  int32_t v[3] = {0, 0, 0};
  EXPECT_EQ(AK_StreamReadInts(s, v, 3), 2);
  EXPECT_TRUE(s.Fail());
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
}

TEST(Stream, GzipToolReadsTheFile)
{
  ScratchDir dir;
  std::string path = dir / "tool.dat";
  std::string out = dir / "tool.raw";
  {
    AK_STREAM s(path.c_str(), "wb");
    s << AK_String("SW_Particles:v0") << int32_t(3);
    const unsigned char flags[3] = {0, 1, 2};
    AK_StreamWriteBytes(s, flags, 3);
    ASSERT_EQ(AK_StreamClose(s), 0);
  }
  std::string args = "-dc " + std::string(AK_ShellQuote(path.c_str())) + " > " +
                     std::string(AK_ShellQuote(out.c_str()));
  ASSERT_EQ(AK_RunCommand("gzip", args.c_str(), 0, 0), 0);
  std::vector<unsigned char> expected = {15, 0, 0, 0};
  for (char c : std::string("SW_Particles:v0")) expected.push_back(static_cast<unsigned char>(c));
  for (unsigned char b : {3, 0, 0, 0, 0, 1, 2}) expected.push_back(b);
  EXPECT_EQ(FileBytes(out), expected);
}

// The digest a stream takes of the bytes it reads or writes is the digest of the file that
// AK_FileDigest reads anew (the oracle), and the data read are those zlib reads: for gzip files of
// one and several members, with bytes after the last, cut off, or no gzip at all, read whole or in
// part, in random sizes.
TEST(Stream, DigestOfTheBytesPassedIsTheFilesAndTheDataAreZlibs)
{
  ScratchDir dir;
  std::mt19937_64 random(105);
  const std::string path = dir / "data.dat";
  for (int round = 0; round < 120; ++round) {
    SCOPED_TRACE(round);
    // Data of low entropy in part, so that some compress and some do not.
    std::vector<unsigned char> data(random() % 3 == 0 ? random() % 8 : random() % 400000);
    for (unsigned char& b : data) b = static_cast<unsigned char>(random() % (round % 2 ? 256 : 3));
    const int shape = round % 5;  // written by the stream, two members, garbage after, raw, cut off
    if (shape == 0) {
      AK_STREAM out;
      ASSERT_EQ(1, AK_StreamOpenReplacing(out, path.c_str(), "wb"));
      ASSERT_EQ(static_cast<int32_t>(data.size()), AK_StreamWriteBytes(out, data.data(), static_cast<int32_t>(data.size())));
      AK_String written;
      ASSERT_EQ(0, AK_StreamCloseDigesting(out, written));
      EXPECT_EQ(AK_FileDigest(path.c_str()), written);
    } else if (shape == 1 || shape == 2) {
      const size_t half = data.empty() ? 0 : random() % data.size();
      WriteGzip(path, std::vector<unsigned char>(data.begin(), data.begin() + static_cast<long>(half)));
      const std::string second = dir / "second.gz";
      WriteGzip(second, std::vector<unsigned char>(data.begin() + static_cast<long>(half), data.end()));
      std::string bytes = ReadFile(path) + ReadFile(second);
      if (shape == 2) bytes += std::string(1 + random() % 40, static_cast<char>(random() % 256));
      WriteFile(path, bytes);
    } else if (shape == 3) {
      WriteFile(path, std::string(data.begin(), data.end()));
    } else {
      WriteGzip(path, data);
      const std::string bytes = ReadFile(path);
      WriteFile(path, bytes.substr(0, bytes.size() - 1 - random() % std::min<size_t>(bytes.size() - 1, 30)));
    }
    const std::vector<unsigned char> zlibReads = Gunzip(path);
    // Read whole, or stopped anywhere.
    const int64_t want = random() % 2 ? int64_t(zlibReads.size()) + 10 : int64_t(random() % (zlibReads.size() + 1));
    AK_STREAM in;
    ASSERT_EQ(1, AK_StreamOpen(in, path.c_str(), "rb"));
    std::vector<unsigned char> got(static_cast<size_t>(want));
    const int64_t n = in.GetRaw(got.data(), want);
    got.resize(static_cast<size_t>(n));
    if (shape == 4) {
      // A cut-off file gives no more than zlib, and never all that was written.
      EXPECT_LE(got.size(), data.size());
      EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
      if (want >= int64_t(data.size()) && !data.empty()) {
        EXPECT_LT(n, int64_t(data.size()));
      }
    } else {
      EXPECT_EQ(std::min<int64_t>(want, int64_t(zlibReads.size())), n);
      EXPECT_TRUE(std::equal(got.begin(), got.end(), zlibReads.begin()));
    }
    AK_String read;
    ASSERT_EQ(0, AK_StreamCloseDigesting(in, read));
    EXPECT_EQ(AK_FileDigest(path.c_str()), read);
  }
}

// Within a scope, a file is digested once while it stands as read and this process wrote nothing
// of its name; a file replaced, or written by this process, is read again; outside, every ask reads.
TEST(Stream, FileDigestsOnceReadEachFileOnceWhileItStands)
{
  ScratchDir dir;
  const std::string path = dir / "DHM.dat";
  const std::string other = dir / "other.dat";
  WriteFile(path, "first");
  WriteFile(other, "other");
  const AK_String first = AK_ContentDigest("first", 5);
  AK_CountOpensForReading("DHM.dat");
  EXPECT_EQ(first, AK_FileDigest(path.c_str()));
  EXPECT_EQ(first, AK_FileDigest((dir / "./DHM.dat").c_str()));
  EXPECT_EQ(2, AK_OpensForReadingCounted());
  {
    const AK_FileDigestsOnce once;
    AK_CountOpensForReading("DHM.dat");
    EXPECT_EQ(first, AK_FileDigest(path.c_str()));
    {
      const AK_FileDigestsOnce inner;
      EXPECT_EQ(first, AK_FileDigest((dir / "./DHM.dat").c_str()));
    }
    EXPECT_EQ(first, AK_FileDigest(path.c_str()));
    EXPECT_EQ(1, AK_OpensForReadingCounted());
    // Written by this process, with the same size, at once: read again.
    ASSERT_TRUE(AK_WriteWholeFile(path.c_str(), "secnd"));
    EXPECT_EQ(AK_ContentDigest("secnd", 5), AK_FileDigest(path.c_str()));
    EXPECT_EQ(2, AK_OpensForReadingCounted());
    // Written in place by another program (no name this process wrote), later: the times tell.
    const auto written = std::filesystem::last_write_time(path);
    {
      std::FILE* f = std::fopen(path.c_str(), "r+");
      ASSERT_TRUE(f);
      std::fputs("third", f);
      std::fclose(f);
    }
    std::filesystem::last_write_time(path, written + std::chrono::seconds(5));
    EXPECT_EQ(AK_ContentDigest("third", 5), AK_FileDigest(path.c_str()));
    EXPECT_EQ(3, AK_OpensForReadingCounted());
    // Another file is its own.
    EXPECT_EQ(AK_ContentDigest("other", 5), AK_FileDigest(other.c_str()));
    EXPECT_EQ(AK_ContentDigest("other", 5), AK_FileDigest(other.c_str()));
    EXPECT_EQ(3, AK_OpensForReadingCounted());
  }
  AK_CountOpensForReading("");
}
