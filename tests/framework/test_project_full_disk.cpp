// A save that cannot be written completely (a full disk, here a file size limit) keeps the
// previous save byte for byte and says that the write failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestClasses.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> Entries(const std::string& dir)
{
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(ProjectSave, AFailedWriteKeepsThePreviousSave)
{
  ScratchDir dir;
  TST_Level1 object("o", nullptr);
  object.Set("Value", "1");
  AK_ErrorText = "";
  object.SaveAs(dir.Path().c_str());
  ASSERT_STREQ(AK_ErrorText.c_str(), "");
  const std::vector<std::string> files = {"Level1.atr", "Level1.dat"};
  ASSERT_EQ(Entries(dir.Path()), files);
  std::string attributes = ReadFile(dir / "Level1.atr");
  std::string data = ReadFile(dir / "Level1.dat");

  object.Set("Value", "2");
  {
    FileSizeLimit full(8);
    object.SaveAs(dir.Path().c_str());
    EXPECT_EQ(std::string(AK_ErrorText.c_str()),
              "cannot save data of o to file " + (dir / "Level1.dat"));
    AK_ErrorText = "";
    object.SaveAttributes((dir / "Level1.atr").c_str());
    EXPECT_EQ(std::string(AK_ErrorText.c_str()),
              "cannot write file " + (dir / "Level1.atr") + " for saving attributes! File too large");
  }
  EXPECT_EQ(ReadFile(dir / "Level1.atr"), attributes);
  EXPECT_EQ(ReadFile(dir / "Level1.dat"), data);
  EXPECT_EQ(Entries(dir.Path()), files);

  // The failed save did not count: the next one writes the new value.
  AK_ErrorText = "";
  object.SaveAs(dir.Path().c_str());
  EXPECT_STREQ(AK_ErrorText.c_str(), "");
  EXPECT_NE(ReadFile(dir / "Level1.atr"), attributes);
  EXPECT_EQ(Entries(dir.Path()), files);
}
