// Replacing writes: a file (AK_File::Replacing) or a record stream (AK_StreamOpenReplacing)
// takes the place of the previous file only when every byte reached the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "TestSupport.h"

namespace {

std::string Contents(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// Writes `bytes` bytes of a pattern into `path` and reports whether the writer succeeded.
bool WriteText(const std::string& path, int bytes)
{
  AK_File file = AK_File::Replacing(path.c_str());
  if (!file) return false;
  for (int i = 0; i < bytes; ++i) std::fputc('a' + i % 26, file);
  return file.Close();
}

bool WriteRecords(const std::string& path, int bytes)
{
  AK_STREAM stream;
  if (!AK_StreamOpenReplacing(stream, path.c_str(), "wb")) return false;
  // Incompressible, so that the compressed file is as long as the data.
  AK_SeedRandom(7);
  for (int i = 0; i < bytes / 4; ++i) stream << static_cast<int32_t>(AK_Random());
  return AK_StreamClose(stream) == 0;
}

}  // namespace

TEST(ReplacingWrite, OnlyACompleteWriteReplacesThePreviousFile)
{
  struct Case {
    const char* writer;
    std::function<bool(const std::string&, int)> write;
  };
  const Case cases[] = {{"text", WriteText}, {"records", WriteRecords}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writer);
    ScratchDir dir;
    std::string path = dir / "Object.dat";
    ASSERT_TRUE(c.write(path, 4000));
    ::chmod(path.c_str(), 0640);
    std::string previous = Contents(path);

    {
      FileSizeLimit full(1000);
      EXPECT_FALSE(c.write(path, 40000));
    }
    EXPECT_EQ(Contents(path), previous);
    EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

    ASSERT_TRUE(c.write(path, 400));
    EXPECT_NE(Contents(path), previous);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replacement keeps the file's permissions
    EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

    // No file is created in place of a directory, nor in a directory that does not exist.
    EXPECT_FALSE(c.write(dir.Path(), 10));
    EXPECT_FALSE(c.write(dir / "missing/Object.dat", 10));
  }
}

TEST(ReplacingWrite, AnUnfinishedWriterLeavesNothingBehind)
{
  ScratchDir dir;
  ASSERT_TRUE(WriteText(dir / "a.atr", 10));
  {
    AK_File file = AK_File::Replacing((dir / "a.atr").c_str());
    std::fputs("half", file);
    AK_STREAM stream;
    ASSERT_TRUE(AK_StreamOpenReplacing(stream, (dir / "b.dat").c_str(), "wb"));
    stream << 1.5;
  }
  EXPECT_EQ(Contents(dir / "a.atr"), "abcdefghij");
  EXPECT_EQ(AK_ListDirectory(dir.Path().c_str(), "").Count(), 1);

  // Renaming never overwrites; replacing does.
  ASSERT_TRUE(WriteText(dir / "b.atr", 3));
  EXPECT_EQ(AK_RenameFile((dir / "b.atr").c_str(), (dir / "a.atr").c_str()), -1);
  EXPECT_EQ(AK_ReplaceFile((dir / "b.atr").c_str(), (dir / "a.atr").c_str()), 0);
  EXPECT_EQ(Contents(dir / "a.atr"), "abc");
}
