#include <string>
#include <vector>

#include "AK_NumberLists.h"
#include "VisualTestSupport.h"

namespace {

struct Message {
  std::string text, location;
};
std::vector<Message> gMessages;
void Capture(const char* text, const char* location) { gMessages.push_back({text, location}); }

class NumberLists : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = AK_MessageHook;
    AK_MessageHook = Capture;
    gMessages.clear();
  }
  void TearDown() override { AK_MessageHook = saved_; }
  AK_MessageFunction saved_ = nullptr;
};

constexpr double kKeep = 99;  // what an untouched place holds

struct Case {
  const char* text;
  int count;  // 2 or 3
  bool asDouble;
  double expected[3];
  bool warns;
};

const Case kCases[] = {
    {"0.5 0.25", 2, false, {0.5, 0.25, kKeep}, false},
    {"0.5", 2, false, {0.5, kKeep, kKeep}, true},
    {"", 2, false, {kKeep, kKeep, kKeep}, true},
    {"   \t ", 2, false, {kKeep, kKeep, kKeep}, true},
    {"1 2 3", 2, false, {1, 2, kKeep}, false},
    {"1,2", 2, true, {1, kKeep, kKeep}, true},
    {"1;2", 2, false, {1, kKeep, kKeep}, true},
    {"1 2 3 4", 3, false, {1, 2, 3}, false},
    {"1 2", 3, false, {1, 2, kKeep}, true},
    {"x 2 3", 3, false, {kKeep, kKeep, kKeep}, true},
    {"  -1e3\t7", 2, true, {-1000, 7, kKeep}, false},
    {"\n+2.5E1\r\n.5", 2, true, {25, 0.5, kKeep}, false},
    {"0.1 0.2", 2, true, {0.1, 0.2, kKeep}, false},
};

TEST_F(NumberLists, ParseWhatTheyCanAndWarnOnShortInput) {
  for (const Case& c : kCases) {
    gMessages.clear();
    double got[3] = {kKeep, kKeep, kKeep};
    const char* location = nullptr;
    if (c.asDouble) {
      ParseDoublePairList(AK_String(c.text), got);
      location = "AK_Basic.h:858";
    } else {
      float f[3] = {float(kKeep), float(kKeep), float(kKeep)};
      if (c.count == 2) {
        ParseFloatPairList(AK_String(c.text), f);
        location = "AK_Basic.h:849";
      } else {
        ParseFloatTripleList(AK_String(c.text), f);
        location = "AK_Basic.h:852";
      }
      for (int i = 0; i < 3; ++i) got[i] = f[i];
    }
    for (int i = 0; i < 3; ++i) {
      if (c.asDouble)
        EXPECT_DOUBLE_EQ(got[i], c.expected[i]) << c.text << " place " << i;
      else
        EXPECT_FLOAT_EQ(float(got[i]), float(c.expected[i])) << c.text << " place " << i;
    }
    if (c.warns) {
      ASSERT_EQ(gMessages.size(), 1u) << c.text;
      EXPECT_EQ(gMessages[0].text, "WARNING:wrong input!");
      EXPECT_EQ(gMessages[0].location, location);
    } else {
      EXPECT_TRUE(gMessages.empty()) << c.text;
    }
  }
}

TEST_F(NumberLists, LeaveTheTextUnchanged) {
  const AK_String text("  3 4  ");
  float f[2] = {0, 0};
  ParseFloatPairList(text, f);
  EXPECT_TRUE(text == "  3 4  ");
  EXPECT_EQ(f[0], 3.0f);
  EXPECT_EQ(f[1], 4.0f);
}

}  // namespace
